#include "app/MessageBoxes.h"

#include <QList>
#include <QMessageBox>

#include "runtime/Interaction.h"

namespace ovx {
namespace {

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

}  // namespace

QMessageBox* MakeMessageBox(const QString& text, const QString& caption, int flags) {
    const ButtonSet set = ButtonsFor(flags);
    auto* box = new QMessageBox(IconFor(flags), caption, text, set.buttons);
    box->setWindowModality(Qt::ApplicationModal);
    const int defaultIndex = (flags & 0xF00) >> 8;
    if (defaultIndex < set.order.size()) box->setDefaultButton(set.order[defaultIndex]);
    return box;
}

int AnswerOfMessageBox(const QMessageBox* box, int flags) {
    const int fallback = CancelAnswerFor(flags);
    if (box == nullptr || box->clickedButton() == nullptr) return fallback;
    return AnswerOf(box->standardButton(box->clickedButton()), fallback);
}

int CancelAnswerFor(int flags) {
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

}  // namespace ovx
