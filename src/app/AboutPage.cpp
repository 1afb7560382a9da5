#include "app/AboutPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/LinkLabel.h"
#include "app/MessengerBadge.h"
#include "app/Placement.h"
#include "ovx/Version.h"

namespace ovx {
namespace {

QLabel* Label(QWidget* container, const char* name, const QRect& place, const QString& text = {}) {
    auto* label = Place<QLabel>(container, name, place);
    label->setText(text);
    return label;
}

}  // namespace

QString AboutPage::Caption() {
    return QStringLiteral("  关于软件  ");
}

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    auto* support = Place<QGroupBox>(this, "分组框1", {8, 40, 228, 145});
    support->setTitle(QStringLiteral("客服："));
    Label(support, "标签6", {11, 25, 64, 26}, QStringLiteral("在线客服："));
    messenger_ = Place<QPushButton>(support, "按钮2", {81, 25, 84, 24});
    messenger_->setIcon(QIcon(MessengerBadge({80, 20})));
    messenger_->setIconSize({80, 20});
    messenger_->setFlat(true);
    messenger_->setCursor(Qt::PointingHandCursor);
    auto* invitation =
        Label(support, "标签9", {11, 72, 159, 24}, QStringLiteral("了解作者的更多实用小工具："));
    invitation->setWordWrap(true);
    webSite_ = Place<LinkLabel>(support, "标签7", {11, 115, 165, 20});
    webSite_->setStyleSheet(QStringLiteral("color: #0645ad; text-decoration: underline;"));

    auto* version = Place<QGroupBox>(this, "分组框3", {8, 190, 228, 208});
    version->setTitle(QStringLiteral("版本："));
    verdict_ = Label(version, "标签_banbenjieguo", {16, 31, 164, 24});
    Label(version, "标签5", {16, 57, 72, 40}, QStringLiteral("当前版本："));
    current_ = Label(version, "标签_banben", {86, 57, 95, 40});
    Label(version, "标签_xinbanben", {16, 105, 72, 40}, QStringLiteral("最新版本："));
    latest_ = Label(version, "标签_zxbanben", {87, 105, 93, 40});
    check_ = Place<QPushButton>(version, "按钮_checknew", {14, 152, 166, 40});
    check_->setText(QStringLiteral("检测程序是否有更新"));

    licence_ = Label(this, "标签_许可", {8, 410, 1040, 24}, QString::fromUtf8(kLicenceLine));
    licence_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

}  // namespace ovx
