#include "app/GuiInteraction.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <chrono>

#include "app/GuiInteractionPlayer.h"
#include "app/LogBox.h"
#include "app/QtText.h"
#include "runtime/StopFlag.h"

namespace ovx {

namespace {

constexpr std::size_t kMaxRecordedMessages = 1000;
// How often a worker waiting in a box checks whether its job is stopping.
constexpr int kStopPollMs = 50;

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QList<QMessageBox::StandardButton> order;  // left to right, for the default button
};

ButtonSet ButtonsFor(int flags) {
    switch (flags & 0xF) {
        case 1:
            return {QMessageBox::Ok | QMessageBox::Cancel, {QMessageBox::Ok, QMessageBox::Cancel}};
        case 2:
            return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                    {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}};
        case 3:
            return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}};
        case 4:
            return {QMessageBox::Yes | QMessageBox::No, {QMessageBox::Yes, QMessageBox::No}};
        case 5:
            return {QMessageBox::Retry | QMessageBox::Cancel,
                    {QMessageBox::Retry, QMessageBox::Cancel}};
        default:
            return {QMessageBox::Ok, {QMessageBox::Ok}};
    }
}

QMessageBox::Icon IconFor(int flags) {
    switch (flags & 0xF0) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int AnswerOf(QMessageBox::StandardButton button, int fallback) {
    switch (button) {
        case QMessageBox::Ok:
            return kOk;
        case QMessageBox::Cancel:
            return kCancel;
        case QMessageBox::Abort:
            return kAbort;
        case QMessageBox::Retry:
            return kRetry;
        case QMessageBox::Ignore:
            return kIgnore;
        case QMessageBox::Yes:
            return kYes;
        case QMessageBox::No:
            return kNo;
        default:
            return fallback;
    }
}

// The box for a message; application-modal, not yet shown.
QMessageBox* MakeBox(const GuiInteraction::Message& message) {
    const ButtonSet set = ButtonsFor(message.flags);
    auto* box = new QMessageBox(IconFor(message.flags), message.caption, message.text, set.buttons);
    box->setWindowModality(Qt::ApplicationModal);
    const int defaultIndex = (message.flags & 0xF00) >> 8;
    if (defaultIndex < set.order.size()) box->setDefaultButton(set.order[defaultIndex]);
    return box;
}

int AnswerOfBox(QMessageBox* box, int flags) {
    const int fallback = GuiInteraction::CancelAnswer(flags);
    if (box == nullptr || box->clickedButton() == nullptr) return fallback;
    return AnswerOf(box->standardButton(box->clickedButton()), fallback);
}

bool OnThreadOf(const QObject* object) {
    return QThread::currentThread() == object->thread();
}

}  // namespace

struct GuiInteraction::Pending {
    Message message;
    int answer = kOk;
    bool done = false;
    bool abandoned = false;     // the worker stopped waiting
    QPointer<QMessageBox> box;  // window thread only
};

GuiInteraction::GuiInteraction(QObject* parent) : QObject(parent) {}

GuiInteraction::~GuiInteraction() {
    Shutdown();
    // Let every worker still inside ShowMessage leave before the members go.
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [this] { return waiters_ == 0; });
}

void GuiInteraction::SetRoot(QWidget* root) {
    root_ = root;
    editBoxes_.clear();
}

int GuiInteraction::CancelAnswer(int flags) {
    switch (flags & 0xF) {
        case 1:
        case 3:
        case 5:
            return kCancel;
        case 2:
            return kAbort;
        case 4:
            return kNo;
        default:
            return kOk;
    }
}

int GuiInteraction::ShowMessage(const Text& content, int flags, const Text& caption) {
    Message message{ToQString(content),
                    caption.empty() ? QStringLiteral("信息：") : ToQString(caption), flags};
    std::unique_lock lock(mutex_);
    if (messages_.size() < kMaxRecordedMessages) messages_.push_back(message);
    if (!preAnswers_.empty()) {
        const int answer = preAnswers_.front();
        preAnswers_.pop_front();
        return answer;
    }
    if (shutDown_) return CancelAnswer(flags);
    if (OnThreadOf(this)) {
        lock.unlock();
        return ShowOnGuiThread(message);
    }

    // A worker whose job is stopping has no one left to ask.
    if (StopRequested()) return CancelAnswer(flags);

    // A worker: the window shows the box; this thread waits for the answer, or until its job
    // is asked to stop, which takes the box away again.
    auto pending = std::make_shared<Pending>();
    pending->message = message;
    pending->answer = CancelAnswer(flags);
    pending_.push_back(pending);
    ++waiters_;
    QMetaObject::invokeMethod(
        this, [this, pending] { OpenBoxFor(pending); }, Qt::QueuedConnection);
    const auto settled = [&] { return pending->done || shutDown_; };
    while (!answered_.wait_for(lock, std::chrono::milliseconds(kStopPollMs), settled)) {
        if (StopRequested()) {
            pending->abandoned = true;
            QMetaObject::invokeMethod(
                this,
                [pending] {
                    if (pending->box) pending->box->reject();
                },
                Qt::QueuedConnection);
            break;
        }
    }
    std::erase(pending_, pending);
    const int answer = pending->done ? pending->answer : CancelAnswer(flags);
    --waiters_;
    answered_.notify_all();
    return answer;
}

int GuiInteraction::ShowOnGuiThread(const Message& message) {
    QPointer<QMessageBox> box = MakeBox(message);
    openBoxes_.push_back(box);
    box->exec();
    const int answer = AnswerOfBox(box, message.flags);
    std::erase(openBoxes_, box);
    delete box;
    return answer;
}

void GuiInteraction::OpenBoxFor(const std::shared_ptr<Pending>& pending) {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_ || pending->done || pending->abandoned) return;
    }
    QMessageBox* box = MakeBox(pending->message);
    pending->box = box;
    openBoxes_.push_back(box);
    connect(box, &QMessageBox::finished, this, [this, box, pending] {
        const int answer = AnswerOfBox(box, pending->message.flags);
        {
            std::lock_guard lock(mutex_);
            pending->answer = answer;
            pending->done = true;
        }
        answered_.notify_all();
        std::erase(openBoxes_, QPointer<QMessageBox>(box));
        box->deleteLater();
    });
    box->show();
}

void GuiInteraction::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    answered_.notify_all();
    if (!OnThreadOf(this)) return;
    // Close what is open; each box reports its cancel answer.
    const auto boxes = openBoxes_;
    for (const QPointer<QMessageBox>& box : boxes) {
        if (box) box->reject();
    }
    if (player_ != nullptr) player_->Stop();
}

void GuiInteraction::ProcessEvents() {
    // A worker without an event loop has nothing queued for it.
    if (QAbstractEventDispatcher::instance() != nullptr) QCoreApplication::processEvents();
}

void GuiInteraction::AppendEditText(const std::string& editBox, const std::vector<Text>& texts) {
    QString joined;
    for (const Text& text : texts) joined += ToQString(text);
    if (joined.isEmpty()) return;
    const QString name = QString::fromStdString(editBox);
    if (OnThreadOf(this)) {
        AppendOnGuiThread(name, joined);
    } else {
        QMetaObject::invokeMethod(
            this, [this, name, joined] { AppendOnGuiThread(name, joined); }, Qt::QueuedConnection);
    }
}

QWidget* GuiInteraction::FindEditBox(const QString& name) {
    if (QPointer<QWidget> cached = editBoxes_.value(name)) return cached;
    QWidget* found = nullptr;
    if (root_) {
        found = root_->objectName() == name ? root_.data() : root_->findChild<QWidget*>(name);
    } else {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            found = top->objectName() == name ? top : top->findChild<QWidget*>(name);
            if (found != nullptr) break;
        }
    }
    if (found != nullptr) editBoxes_.insert(name, found);
    return found;
}

void GuiInteraction::AppendOnGuiThread(const QString& editBox, const QString& text) {
    AppendToLogBox(FindEditBox(editBox), text);
}

bool GuiInteraction::ShellOpen(int verb, const Text& target, const Text& /*parameters*/,
                               const Text& /*workingFolder*/, int /*showMode*/) {
    const QString where = ToQString(target);
    if (where.isEmpty()) return false;
    if (OnThreadOf(this)) return ShellOpenOnGuiThread(verb, where);
    QMetaObject::invokeMethod(
        this, [this, verb, where] { ShellOpenOnGuiThread(verb, where); }, Qt::QueuedConnection);
    return true;
}

bool GuiInteraction::ShellOpenOnGuiThread(int verb, const QString& target) {
    std::function<bool(int, const QString&)> handler;
    {
        std::lock_guard lock(mutex_);
        handler = shellOpenHandler_;
    }
    if (handler) return handler(verb, target);
    // An existing file or folder opens as such; an address with a scheme as it is; anything
    // else as the desktop reads what a user would type ("weibo.com" is a web address).
    if (QFileInfo::exists(target)) return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
    const QUrl asUrl(target, QUrl::StrictMode);
    if (asUrl.isValid() && asUrl.scheme().size() > 1) return QDesktopServices::openUrl(asUrl);
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

void GuiInteraction::PlayMp3(int count, const std::vector<Text>& files) {
    QStringList names;
    for (const Text& file : files) {
        if (!file.empty()) names.append(ToQString(file));
    }
    if (count <= 0 || names.isEmpty()) return;
    {
        std::lock_guard lock(mutex_);
        playedFiles_.append(names);
    }
    if (OnThreadOf(this)) {
        PlayOnGuiThread(count, names);
    } else {
        QMetaObject::invokeMethod(
            this, [this, count, names] { PlayOnGuiThread(count, names); }, Qt::QueuedConnection);
    }
}

void GuiInteraction::PlayOnGuiThread(int count, const QStringList& files) {
    if (player_ == nullptr) player_ = new GuiInteractionPlayer(this);
    player_->Play(count, files);
}

void GuiInteraction::PreAnswer(int button) {
    std::lock_guard lock(mutex_);
    preAnswers_.push_back(button);
}

std::vector<GuiInteraction::Message> GuiInteraction::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void GuiInteraction::SetShellOpenHandler(std::function<bool(int, const QString&)> handler) {
    std::lock_guard lock(mutex_);
    shellOpenHandler_ = std::move(handler);
}

QStringList GuiInteraction::PlayedFiles() const {
    std::lock_guard lock(mutex_);
    return playedFiles_;
}

}  // namespace ovx
