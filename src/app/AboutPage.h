#pragma once
// Page 4: the maker's contact links, the version group with the update check and the licence.

#include <QWidget>

class QLabel;
class QPushButton;

namespace ovx {

class LinkLabel;

class AboutPage : public QWidget {
    Q_OBJECT

  public:
    static QString Caption();

    explicit AboutPage(QWidget* parent = nullptr);

    QPushButton* MessengerButton() const { return messenger_; }  // 按钮2
    LinkLabel* WebSiteLabel() const { return webSite_; }         // 标签7
    QLabel* VerdictLabel() const { return verdict_; }            // 标签_banbenjieguo
    QLabel* CurrentVersionLabel() const { return current_; }     // 标签_banben
    QLabel* LatestVersionLabel() const { return latest_; }       // 标签_zxbanben
    QPushButton* CheckButton() const { return check_; }          // 按钮_checknew
    QLabel* LicenceLabel() const { return licence_; }            // 标签_许可

  private:
    QPushButton* messenger_;
    LinkLabel* webSite_;
    QLabel* verdict_;
    QLabel* current_;
    QLabel* latest_;
    QPushButton* check_;
    QLabel* licence_;
};

}  // namespace ovx
