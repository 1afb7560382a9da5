#include "app/GuiEngineView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>
#include <algorithm>
#include <memory>
#include <optional>

#include "app/AlbumsPage.h"
#include "app/CoverPicture.h"
#include "app/GuiInteraction.h"
#include "app/LogBox.h"
#include "app/OptionsPage.h"
#include "app/QtText.h"
#include "app/ReportList.h"
#include "app/Settings.h"
#include "runtime/Interaction.h"
#include "runtime/StopFlag.h"

namespace ovx {
namespace {

// The album list's columns.
constexpr int kNumberColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kCoverColumn = 3;
constexpr int kCountColumn = 4;
constexpr int kKeyColumn = 5;
constexpr int kHiddenColumns[] = {5, 6, 7};

QLabel* LabelFor(const AlbumsPage& page, ViewLabel label) {
    switch (label) {
        case ViewLabel::User:
            return page.UserLabel();
        case ViewLabel::Status:
            return page.StatusLabel();
        case ViewLabel::Percent:
            return page.PercentLabel();
        case ViewLabel::AlbumCount:
            return page.AlbumCountLabel();
        case ViewLabel::CurrentAlbum:
            return page.CurrentAlbumLabel();
        case ViewLabel::PhotoCount:
            return page.PhotoCountLabel();
    }
    return nullptr;
}

}  // namespace

GuiEngineView::GuiEngineView(AlbumsPage* albums, OptionsPage* options, QObject* parent)
    : QObject(parent), albums_(albums), options_(options) {}

GuiEngineView::~GuiEngineView() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    answered_.notify_all();
    // Let every worker still inside a read leave before the members go.
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [this] { return waiters_ == 0; });
}

void GuiEngineView::SetRunStateHandler(std::function<void(RunState)> handler) {
    runStateHandler_ = std::move(handler);
}

bool GuiEngineView::OnWindowThread() const {
    return QThread::currentThread() == thread();
}

void GuiEngineView::RunOnWindow(std::function<void()> work) {
    if (IsShutDown()) return;
    if (OnWindowThread()) {
        work();
        return;
    }
    // Posted events to one thread are delivered in the order they were posted.
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!IsShutDown()) work();
        },
        Qt::QueuedConnection);
}

void GuiEngineView::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    answered_.notify_all();
}

bool GuiEngineView::IsShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

template <class T>
T GuiEngineView::Ask(const std::function<T()>& read, T fallback) {
    if (OnWindowThread()) return IsShutDown() ? fallback : read();
    struct Call {
        std::optional<T> answer;
    };
    auto call = std::make_shared<Call>();
    std::unique_lock lock(mutex_);
    if (shutDown_) return fallback;
    ++waiters_;
    QMetaObject::invokeMethod(
        this,
        [this, call, read] {
            if (IsShutDown()) return;
            T answer = read();
            {
                std::lock_guard inner(mutex_);
                call->answer = std::move(answer);
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    answered_.wait(lock, [&] { return call->answer.has_value() || shutDown_; });
    --waiters_;
    answered_.notify_all();
    return call->answer ? std::move(*call->answer) : fallback;
}

void GuiEngineView::SetLabel(ViewLabel label, const Text& text) {
    QString shown = ToQString(text);
    // The user of a visitor's run says so wherever it is named.
    if (label == ViewLabel::User && visitor_.load() && !text.empty())
        shown += QStringLiteral("（访客身份，未登录）");
    RunOnWindow([this, label, shown] {
        if (!albums_) return;
        if (QLabel* target = LabelFor(*albums_, label)) target->setText(shown);
    });
}

void GuiEngineView::MarkVisitor() {
    visitor_.store(true);
}

void GuiEngineView::SetProgress(int position, int maximum) {
    RunOnWindow([this, position, maximum] {
        if (!albums_) return;
        // A range of 0..0 would turn the bar into a busy indicator.
        const int top = std::max(1, maximum);
        albums_->Progress()->setRange(0, top);
        albums_->Progress()->setValue(std::clamp(position, 0, top));
    });
}

void GuiEngineView::ShowWait(const Text& text) {
    RunOnWindow([this, text = ToQString(text)] {
        if (!albums_) return;
        QLabel* status = LabelFor(*albums_, ViewLabel::Status);
        if (status == nullptr) return;
        if (!text.isEmpty()) {
            if (!waiting_) textBeforeWait_ = status->text();
            waiting_ = true;
            status->setText(text);
        } else if (waiting_) {
            waiting_ = false;
            status->setText(textBeforeWait_);
        }
    });
}

void GuiEngineView::AppendLog(const Text& text) {
    RunOnWindow([this, text = ToQString(text)] {
        if (albums_) AppendToLogBox(albums_->Log(), text);
    });
}

int GuiEngineView::ShowMessage(const Text& content, int flags, const OptText& caption) {
    // A window that is closing, or a job that is stopping, asks nothing more.
    if (IsShutDown() || StopRequested()) return GuiInteraction::CancelAnswer(flags);
    // The box comes after every label and log line written before it, even a pre-answered one.
    if (!Ask<bool>([] { return true; }, false)) return GuiInteraction::CancelAnswer(flags);
    return CurrentInteraction().ShowMessage(content, flags, caption.value_or(Text()));
}

void GuiEngineView::PlayFinishingSound() {
    RunOnWindow([this] {
        if (options_) PlayMp3(1, {FromQString(options_->Mp3Edit()->text())});
    });
}

void GuiEngineView::SetRunState(RunState state) {
    RunOnWindow([this, state] {
        if (runStateHandler_) runStateHandler_(state);
    });
}

void GuiEngineView::ClearAlbums() {
    RunOnWindow([this] {
        if (!albums_) return;
        ReportList* list = albums_->Albums();
        list->DeleteAllRows();
        for (int column : kHiddenColumns) list->SetColumnWidth(column, 0);
    });
}

void GuiEngineView::AddAlbum(const AlbumRow& row) {
    // Decoded here, on the worker: a large or hostile picture never holds up the window.
    QImage cover;
    if (row.withCover) cover = CoverImageFrom(row.cover);
    RunOnWindow([this, cover, withCover = row.withCover, number = ToQString(row.number),
                 name = ToQString(row.name), count = ToQString(row.count),
                 key = ToQString(row.albumKey)] {
        if (!albums_) return;
        ReportList* list = albums_->Albums();
        list->SetColumnWidth(kCoverColumn, withCover ? kCoverSide : 0);
        const int r = list->AddRow();
        list->SetCellText(r, kNumberColumn, number);
        list->SetCellText(r, kNameColumn, name);
        list->SetCellText(r, kCountColumn, count);
        list->SetCellText(r, kKeyColumn, key);
        if (withCover) list->SetCellImage(r, kCoverColumn, QPixmap::fromImage(cover));
        list->SetChecked(r, true);
    });
}

std::vector<AlbumListEntry> GuiEngineView::ReadAlbums() {
    return Ask<std::vector<AlbumListEntry>>(
        [this] {
            std::vector<AlbumListEntry> rows;
            if (!albums_) return rows;
            const ReportList* list = albums_->Albums();
            for (int r = 0; r < list->RowCount(); ++r) {
                rows.push_back({list->IsChecked(r), FromQString(list->CellText(r, kNumberColumn)),
                                FromQString(list->CellText(r, kNameColumn)),
                                FromQString(list->CellText(r, kCountColumn)),
                                FromQString(list->CellText(r, kKeyColumn))});
            }
            return rows;
        },
        {});
}

Text GuiEngineView::ReadHomePageAddress() {
    return Ask<Text>([this] { return albums_ ? FromQString(albums_->UserEdit()->text()) : Text(); },
                     Text());
}

bool GuiEngineView::ReadCoversWanted() {
    return Ask<bool>([this] { return albums_ && albums_->CoversBox()->isChecked(); }, false);
}

bool GuiEngineView::ReadDownloadRecord() {
    return Ask<bool>([this] { return options_ && options_->DownloadRecordBox()->isChecked(); },
                     false);
}

bool GuiEngineView::ReadTimeRange() {
    return Ask<bool>([this] { return options_ && options_->TimeRangeBox()->isChecked(); }, false);
}

AlbumOptions GuiEngineView::ReadAlbumOptions() {
    return Ask<AlbumOptions>(
        [this] {
            AlbumOptions o;
            if (!options_ || !albums_) return o;
            o.downloadRecord = options_->DownloadRecordBox()->isChecked();
            o.timeRange = options_->TimeRangeBox()->isChecked();
            o.start = DateTimeFromDate(options_->StartDateBox()->date());
            o.end = DateTimeFromDate(options_->EndDateBox()->date());
            o.saveLocation = FromQString(albums_->SaveEdit()->text());
            o.livePhotos = options_->LivePhotosBox()->isChecked();
            o.stopAtRecorded = options_->StopAtRecordedBox()->value();
            o.parallelImages = options_->ParallelImagesBox()->value();
            return o;
        },
        AlbumOptions{});
}

NamingOptions GuiEngineView::ReadNamingOptions() {
    return Ask<NamingOptions>(
        [this] {
            NamingOptions o;
            if (!options_) return o;
            const OptionsPage& p = *options_;
            if (p.CaptionNumberRadio()->isChecked()) o.scheme = NamingScheme::CaptionNumber;
            if (p.NumberCaptionRadio()->isChecked()) o.scheme = NamingScheme::NumberCaption;
            if (p.CaptionDateRadio()->isChecked()) o.scheme = NamingScheme::CaptionDate;
            if (p.CaptionRadio()->isChecked()) o.scheme = NamingScheme::Caption;
            o.numbering = p.CycleNumberRadio()->isChecked() ? Numbering::Cycle : Numbering::Default;
            return o;
        },
        NamingOptions{});
}

std::optional<Text> GuiEngineView::ReadProtocolChoice() {
    return Ask<std::optional<Text>>(
        [this]() -> std::optional<Text> {
            if (!options_ || options_->ProtocolBox()->currentIndex() < 0) return std::nullopt;
            return FromQString(options_->ProtocolBox()->currentData().toString());
        },
        std::nullopt);
}

void GuiEngineView::ShowLoginPage() {
    RunOnWindow([this] {
        if (loginPageHandler_) loginPageHandler_();
    });
}

}  // namespace ovx
