#pragma once
// Page 1, "第一步：登录": the embedded browser with its address row. The user logs in to the
// service here; the address box follows the page the browser is on.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ovx {

class BrowserView;

class CookieStore;

class LoginPage : public QWidget {
    Q_OBJECT

  public:
    static QString Caption();

    // `browserStorage` is the folder that keeps the browser's cookies (empty: memory only);
    // they feed `cookies`, the window session's store.
    LoginPage(const QString& browserStorage, CookieStore& cookies, QWidget* parent = nullptr);

    QLineEdit* UrlEdit() const { return urlEdit_; }                    // 编辑框_url
    QPushButton* DownloadUserButton() const { return downloadUser_; }  // 按钮_下载此用户
    QPushButton* OpenButton() const { return open_; }                  // 按钮_打开
    QPushButton* AlbumPageButton() const { return albumPage_; }        // 按钮_专辑页面
    QWidget* Browser() const;                                          // 超文本浏览框1

    QLabel* HintLabel() const { return hint_; }  // 标签12

    // The hint line as the page shows it when nothing was refused.
    static QString Hint();

    // The address the browser is on.
    QString BrowserAddress() const;
    // Sets the browser's address, which makes it load that address. Only web addresses are
    // loaded (app/WebAddress.h); anything else is refused with a note in the hint line, and
    // false is returned.
    bool SetBrowserAddress(const QString& address);

  private:
    QLineEdit* urlEdit_;
    QPushButton* downloadUser_;
    QPushButton* open_;
    QPushButton* albumPage_;
    QLabel* hint_;
    BrowserView* browser_;
};

}  // namespace ovx
