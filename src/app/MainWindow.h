#pragma once
// The program's one window: four tab pages (log in, get albums, options, about) below a tab
// row, the online-support link beside the tabs. Creating the window runs the start-up:
// the process-wide values, the settings pushed into the controls, the browser pointed at the
// service's home page and the record folder made. Nothing is saved when it closes; every
// option is stored the moment its control changes.

#include <QWidget>
#include <memory>

#include "app/WindowLayout.h"
#include "runtime/SettingsFile.h"
#include "runtime/Text.h"
#include "web/RequestGovernor.h"

class QLabel;
class QPushButton;

namespace ovx {

class AboutPage;
class AlbumsPage;
class EngineDriver;
class LoginPage;
class CookieStore;
class OptionsPage;
class Settings;
class TabControl;
class UpdateCheck;

class MainWindow : public QWidget {
    Q_OBJECT

  public:
    struct Options {
        // Point the browser at the home page once the window exists.
        bool navigateAtStart = true;
    };

    static QString Title() { return QStringLiteral("Ovatrix"); }

    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(const Options& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    TabControl* Tabs() const { return tabs_; }
    LoginPage* Login() const { return login_; }
    AlbumsPage* Albums() const { return albums_; }
    OptionsPage* OptionsTab() const { return options_; }
    // The cookie store of the window's session (the browser's login).
    CookieStore& Cookies() const { return *cookies_; }
    AboutPage* About() const { return about_; }
    const Settings& SettingsFile() const { return *settings_; }
    UpdateCheck* Updates() const { return updateCheck_; }
    EngineDriver* Engine() const { return engine_.get(); }

    // The service and maker addresses, as read from the settings at start-up.
    const Text& HomePage() const { return homePage_; }
    const Text& PhotoService() const { return photoService_; }

    // The rectangles the resize rule works on, and setting them back.
    WindowGeometry CurrentLayout() const;
    void SetLayout(const WindowGeometry& g);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // Closing stops every run of the window and waits for it.
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void RunStartUp(const Options& options);
    void LoadSettings();
    void ConnectEvents();
    void ConnectSettingsWriters();
    void OpenSaveFolder();
    void OpenAddress(const Text& address);

    TabControl* tabs_ = nullptr;
    LoginPage* login_ = nullptr;
    AlbumsPage* albums_ = nullptr;
    OptionsPage* options_ = nullptr;
    AboutPage* about_ = nullptr;
    QLabel* supportLabel_ = nullptr;        // 标签10
    QPushButton* supportButton_ = nullptr;  // 按钮1

    // The window's session cookies: fed by the browser, used by every run of the window.
    std::shared_ptr<CookieStore> cookies_;
    std::unique_ptr<Settings> settings_;
    UpdateCheck* updateCheck_ = nullptr;
    Text homePage_;
    Text photoService_;
    Text imageService_;
    Text visitorService_;
    Text protocol_;  // "接口" as the settings hold it
    GovernorSettings pacing_;
    Text helpPage_;
    Text webSite_;
    Text messengerContact_;
    std::unique_ptr<EngineDriver> engine_;
};

}  // namespace ovx
