#include "app/GuiInteraction.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <algorithm>
#include <chrono>

#include "app/DesktopOpen.h"
#include "app/GuiInteractionPlayer.h"
#include "app/LogBox.h"
#include "app/MessageBoxes.h"
#include "app/QtText.h"
#include "runtime/StopFlag.h"

namespace ovx {

namespace {

// How often a worker waiting in a box checks whether its job is stopping.
constexpr int kStopPollMs = 50;

bool OnThreadOf(const QObject* object) {
    return QThread::currentThread() == object->thread();
}

}  // namespace

struct GuiInteraction::Pending {
    QString text;
    QString caption;
    int flags = 0;
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
    return CancelAnswerFor(flags);
}

QString GuiInteraction::CaptionOrDefault(const Text& caption) {
    return caption.empty() ? QStringLiteral("信息：") : ToQString(caption);
}

int GuiInteraction::ShowMessage(const Text& content, int flags, const Text& caption) {
    const QString text = ToQString(content);
    const QString title = CaptionOrDefault(caption);
    std::unique_lock lock(mutex_);
    if (shutDown_) return CancelAnswer(flags);
    if (OnThreadOf(this)) {
        lock.unlock();
        return ShowOnGuiThread(text, title, flags);
    }
    // A worker whose job is stopping has no one left to ask.
    if (StopRequested()) return CancelAnswer(flags);

    // A worker: the window shows the box; this thread waits for the answer, or until its job
    // is asked to stop, which takes the box away again.
    auto pending = std::make_shared<Pending>();
    pending->text = text;
    pending->caption = title;
    pending->flags = flags;
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

int GuiInteraction::ShowOnGuiThread(const QString& text, const QString& caption, int flags) {
    QPointer<QMessageBox> box = MakeMessageBox(text, caption, flags);
    openBoxes_.push_back(box);
    box->exec();
    const int answer = AnswerOfMessageBox(box, flags);
    std::erase(openBoxes_, box);
    delete box;
    return answer;
}

void GuiInteraction::OpenBoxFor(const std::shared_ptr<Pending>& pending) {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_ || pending->done || pending->abandoned) return;
    }
    QMessageBox* box = MakeMessageBox(pending->text, pending->caption, pending->flags);
    pending->box = box;
    openBoxes_.push_back(box);
    connect(box, &QMessageBox::finished, this, [this, box, pending] {
        const int answer = AnswerOfMessageBox(box, pending->flags);
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
    if (OnThreadOf(this)) return OpenWithDesktop(verb, where);
    QMetaObject::invokeMethod(
        this, [verb, where] { OpenWithDesktop(verb, where); }, Qt::QueuedConnection);
    return true;
}

void GuiInteraction::PlayMp3(int count, const std::vector<Text>& files) {
    QStringList names;
    for (const Text& file : files) {
        if (!file.empty()) names.append(ToQString(file));
    }
    if (count <= 0 || names.isEmpty()) return;
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

}  // namespace ovx
