#include "app/LoginPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/BrowserView.h"
#include "app/Placement.h"
#include "app/WebAddress.h"

namespace ovx {

QString LoginPage::Caption() {
    return QStringLiteral("  第一步：登录   ");
}

LoginPage::LoginPage(const QString& browserStorage, CookieStore& cookies, QWidget* parent)
    : QWidget(parent) {
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

    hint_ = Place<QLabel>(this, "标签12", {12, 75, 848, 32});
    hint_->setText(Hint());
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    browser_ = new BrowserView(browserStorage, cookies, this);
    browser_->setObjectName(QStringLiteral("超文本浏览框1"));
    browser_->setGeometry(12, 107, 896, 437);

    // The address box always shows the page the user is on.
    connect(browser_, &BrowserView::addressToShow, urlEdit_, &QLineEdit::setText);
    connect(open_, &QPushButton::clicked, this, [this] { SetBrowserAddress(urlEdit_->text()); });
}

QWidget* LoginPage::Browser() const {
    return browser_;
}

QString LoginPage::Hint() {
    return QStringLiteral(
        "温馨提示：如果网页无法显示，点击右侧的打开按钮，还是不行请用系统自带的浏览器打开微博测试"
        "是否正常，修好网络或浏览器。再点打开！\n");
}

QString LoginPage::BrowserAddress() const {
    return browser_->Address();
}

bool LoginPage::SetBrowserAddress(const QString& address) {
    const std::optional<QUrl> url = BrowsableAddress(address);
    if (!url) {
        hint_->setText(QStringLiteral("温馨提示：只能打开网页地址（http:// 或 https://），"
                                      "没有打开：") +
                       address.trimmed().left(200));
        return false;
    }
    hint_->setText(Hint());
    browser_->SetAddress(url->toString());
    return true;
}

}  // namespace ovx
