#include "app/LoginPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/BrowserView.h"
#include "app/Placement.h"

namespace ovx {

QString LoginPage::Caption() {
    return QStringLiteral("  第一步：登录   ");
}

LoginPage::LoginPage(const QString& browserStorage, QWidget* parent) : QWidget(parent) {
    auto* address = Place<QLabel>(this, "标签_首页网址", {8, 42, 40, 32});
    address->setText(QStringLiteral("网址："));

    urlEdit_ = Place<QLineEdit>(this, "编辑框_url", {52, 45, 440, 32});

    downloadUser_ = Place<QPushButton>(this, "按钮_下载此用户", {496, 43, 80, 32});
    downloadUser_->setText(QStringLiteral("下载此用户"));

    open_ = Place<QPushButton>(this, "按钮_打开", {599, 44, 69, 32});
    open_->setText(QStringLiteral("打开网页"));

    albumPage_ = Place<QPushButton>(this, "按钮_专辑页面", {684, 43, 96, 32});
    albumPage_->setText(QStringLiteral("[查看用户专辑]"));
    albumPage_->hide();

    auto* hint = Place<QLabel>(this, "标签12", {12, 75, 848, 32});
    hint->setText(QStringLiteral(
        "温馨提示：如果网页无法显示，点击右侧的打开按钮，还是不行请使用你的IE浏览器打开微博测试"
        "是否正常，修复你的IE浏览器。再点打开！\n"));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    browser_ = new BrowserView(browserStorage, this);
    browser_->setObjectName(QStringLiteral("超文本浏览框1"));
    browser_->setGeometry(12, 107, 896, 437);

    // The address box always shows the page the user is on.
    connect(browser_, &BrowserView::addressToShow, urlEdit_, &QLineEdit::setText);
    connect(open_, &QPushButton::clicked, this, [this] { SetBrowserAddress(urlEdit_->text()); });
}

QWidget* LoginPage::Browser() const {
    return browser_;
}

QString LoginPage::BrowserAddress() const {
    return browser_->Address();
}

void LoginPage::SetBrowserAddress(const QString& address) {
    browser_->SetAddress(address);
}

}  // namespace ovx
