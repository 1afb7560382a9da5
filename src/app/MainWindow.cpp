#include "app/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSpinBox>
#include <QTimer>

#include "app/AboutPage.h"
#include "app/AlbumsPage.h"
#include "app/AppPaths.h"
#include "app/EngineDriver.h"
#include "app/LinkLabel.h"
#include "app/LoginPage.h"
#include "app/MessengerBadge.h"
#include "app/OptionsPage.h"
#include "app/Placement.h"
#include "app/QtText.h"
#include "app/ReportList.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "app/TabControl.h"
#include "app/UpdateCheck.h"
#include "runtime/Interaction.h"
#include "runtime/ProgramFolder.h"
#include "web/CookieStore.h"
#include "web/UrlHelpers.h"
#include "web/VisitorSession.h"

namespace ovx {

namespace {
constexpr int kSettingsPageIndex = 2;
// The album list's technical columns: album key, album question, album password.
constexpr int kHiddenColumns[] = {5, 6, 7};
}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(Options{}, parent) {}

MainWindow::MainWindow(const Options& options, QWidget* parent)
    : QWidget(parent), cookies_(std::make_shared<CookieStore>()) {
    setObjectName(QStringLiteral("Ovatrix"));
    setWindowTitle(Title());
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(12);
    setFont(font);
    BuildControls();
    move(50, 50);
    resize(1100, 638);
    RunStartUp(options);
    ConnectEvents();
    engine_ = std::make_unique<EngineDriver>(
        EngineDriver::Controls{tabs_, login_, albums_, options_},
        ServiceSettings{homePage_, photoService_, imageService_, protocol_}, pacing_, cookies_,
        // Before the first login (or when the browser's cookies are only a visitor's), the
        // site's visitor access, its cookies kept in the program folder.
        std::make_shared<VisitorSession>(WithoutTrailingSlash(visitorService_),
                                         VisitorCookiesFile()));
}

MainWindow::~MainWindow() {
    // The workers go first: they talk to the pages through the engine view.
    engine_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A run in progress stops at its next step; the window waits for it, still painting.
    if (engine_) engine_->StopAndWait(std::chrono::seconds(15), true);
    QWidget::closeEvent(event);
}

void MainWindow::BuildControls() {
    tabs_ = Place<TabControl>(this, "高级选择夹1", {4, 7, 1084, 601});
    login_ = new LoginPage(ToQString(BrowserDataFolder()), *cookies_, tabs_);
    albums_ = new AlbumsPage(tabs_);
    options_ = new OptionsPage(tabs_);
    about_ = new AboutPage(tabs_);
    tabs_->AddPage(login_, LoginPage::Caption());
    tabs_->AddPage(albums_, AlbumsPage::Caption());
    tabs_->AddPage(options_, OptionsPage::Caption());
    tabs_->AddPage(about_, AboutPage::Caption());
    tabs_->SetCurrentIndex(0);

    // Beside the tab row, on the window itself.
    supportLabel_ = Place<QLabel>(this, "标签10", {568, 6, 64, 26});
    supportLabel_->setText(QStringLiteral("在线客服："));
    supportButton_ = Place<QPushButton>(this, "按钮1", {638, 7, 84, 24});
    supportButton_->setIcon(QIcon(MessengerBadge({80, 20})));
    supportButton_->setIconSize({80, 20});
    supportButton_->setFlat(true);
    supportButton_->setCursor(Qt::PointingHandCursor);
}

void MainWindow::RunStartUp(const Options& options) {
    // The address box starts wide; the resize rule narrows it to its working width.
    login_->UrlEdit()->resize(624, login_->UrlEdit()->height());
    about_->CurrentVersionLabel()->setText(ToQString(CurrentVersion()));

    settings_ = std::make_unique<Settings>(SettingsPath(), DefaultSaveLocation());
    LoadSettings();

    for (int column : kHiddenColumns) albums_->Albums()->SetColumnWidth(column, 0);

    login_->UrlEdit()->setText(ToQString(homePage_));
    if (options.navigateAtStart && !homePage_.empty()) {
        // The browser loads on its own; the window goes on at once.
        QTimer::singleShot(0, this, [this] { login_->SetBrowserAddress(ToQString(homePage_)); });
    }

    EnsureFolder(RecordFolder());
    SetLayout(ApplyResizeLayout(CurrentLayout(), width()));
}

void MainWindow::LoadSettings() {
    const StoredSettings v = settings_->ReadAll();
    OptionsPage& o = *options_;
    o.DownloadRecordBox()->setChecked(v.downloadRecord);
    o.TimeRangeBox()->setChecked(v.timeRange);
    o.StartDateBox()->setDate(DateFromDateTime(v.startDate));
    o.EndDateBox()->setDate(DateFromDateTime(v.endDate));
    albums_->SaveEdit()->setText(ToQString(v.saveLocation));
    if (v.naming) {
        switch (*v.naming) {
            case NamingRadio::CaptionNumber:
                o.CaptionNumberRadio()->setChecked(true);
                break;
            case NamingRadio::NumberCaption:
                o.NumberCaptionRadio()->setChecked(true);
                break;
            case NamingRadio::CaptionDate:
                o.CaptionDateRadio()->setChecked(true);
                break;
            case NamingRadio::Caption:
                o.CaptionRadio()->setChecked(true);
                break;
        }
    }
    (v.numbering == NumberingRadio::Cycle ? o.CycleNumberRadio() : o.DefaultNumberRadio())
        ->setChecked(true);
    o.Mp3Edit()->setText(ToQString(v.mp3Path));
    o.LivePhotosBox()->setChecked(v.livePhotos);
    o.StopAtRecordedBox()->setValue(v.stopAtRecorded);
    o.ProtocolBox()->setCurrentIndex(std::max(0, o.ProtocolBox()->findData(ToQString(v.protocol))));
    o.RequestIntervalBox()->setValue(v.requestIntervalMs);
    o.ParallelImagesBox()->setValue(v.parallelImages);

    homePage_ = v.homePage;
    photoService_ = v.photoService;
    imageService_ = v.imageService;
    visitorService_ = v.visitorService;
    protocol_ = v.protocol;
    pacing_ = GovernorSettings::From(v);
    helpPage_ = v.helpPage;
    webSite_ = v.webSite;
    messengerContact_ = v.messengerContact;
    about_->WebSiteLabel()->setText(v.webSite.empty() ? QStringLiteral("（未设置网址）")
                                                      : ToQString(v.webSite));

    updateCheck_ = new UpdateCheck(v.versionPage, CurrentVersion(), UpdateTag(), this);
}

void MainWindow::ConnectEvents() {
    connect(tabs_, &TabControl::tabClicked, updateCheck_, &UpdateCheck::OnTabClicked);
    connect(about_->CheckButton(), &QPushButton::clicked, updateCheck_, &UpdateCheck::Start);
    connect(updateCheck_, &UpdateCheck::Finished, this,
            [this](const QString& latest, const QString& verdict, bool) {
                about_->LatestVersionLabel()->setText(latest);
                about_->VerdictLabel()->setText(verdict);
            });

    connect(albums_->OpenFolderButton(), &QPushButton::clicked, this, &MainWindow::OpenSaveFolder);
    connect(albums_->HomePageHelpLabel(), &LinkLabel::pressed, this,
            [this] { OpenAddress(helpPage_); });
    connect(about_->WebSiteLabel(), &LinkLabel::pressed, this, [this] { OpenAddress(webSite_); });
    for (QPushButton* messenger : {supportButton_, about_->MessengerButton()})
        connect(messenger, &QPushButton::clicked, this, [this] { OpenAddress(messengerContact_); });

    // Once shown, the user-album button stays for the rest of the run.
    connect(options_->AlbumButtonSwitch(), &QCheckBox::clicked, login_->AlbumPageButton(),
            &QWidget::show);

    ConnectSettingsWriters();
}

void MainWindow::ConnectSettingsWriters() {
    // Connected after the settings were loaded, so that loading writes nothing.
    const Settings* s = settings_.get();
    OptionsPage& o = *options_;
    connect(o.DownloadRecordBox(), &QCheckBox::clicked, this,
            [s](bool checked) { s->WriteEnabled(SettingKey::DownloadRecord, checked); });
    connect(o.TimeRangeBox(), &QCheckBox::clicked, this,
            [s](bool checked) { s->WriteEnabled(SettingKey::TimeRange, checked); });
    connect(o.LivePhotosBox(), &QCheckBox::clicked, this,
            [s](bool checked) { s->WriteEnabled(SettingKey::LivePhotos, checked); });
    connect(o.ProtocolBox(), &QComboBox::activated, this, [s, &o](int) {
        s->WriteProtocol(FromQString(o.ProtocolBox()->currentData().toString()));
    });
    connect(o.StopAtRecordedBox(), &QSpinBox::valueChanged, this,
            [s](int n) { s->WriteNumber(SettingKey::StopAtRecorded, n); });
    connect(o.RequestIntervalBox(), &QSpinBox::valueChanged, this,
            [s](int ms) { s->WriteNumber(SettingKey::RequestInterval, ms); });
    connect(o.ParallelImagesBox(), &QSpinBox::valueChanged, this,
            [s](int n) { s->WriteNumber(SettingKey::ParallelImages, n); });
    connect(o.StartDateBox(), &QDateEdit::dateChanged, this,
            [s](QDate date) { s->WriteDate(SettingKey::StartDate, date); });
    connect(&o, &OptionsPage::startDateMouseReleased, this,
            [s, &o] { s->WriteDate(SettingKey::StartDate, o.StartDateBox()->date()); });
    connect(o.EndDateBox(), &QDateEdit::dateChanged, this,
            [s](QDate date) { s->WriteDate(SettingKey::EndDate, date); });

    const std::pair<QRadioButton*, NamingRadio> naming[] = {
        {o.CaptionNumberRadio(), NamingRadio::CaptionNumber},
        {o.NumberCaptionRadio(), NamingRadio::NumberCaption},
        {o.CaptionDateRadio(), NamingRadio::CaptionDate},
        {o.CaptionRadio(), NamingRadio::Caption},
    };
    for (auto [radio, value] : naming) {
        connect(radio, &QRadioButton::clicked, this, [s, radio, value] {
            if (radio->isChecked()) s->WriteNaming(value);
        });
    }
    const std::pair<QRadioButton*, NumberingRadio> numbering[] = {
        {o.DefaultNumberRadio(), NumberingRadio::Default},
        {o.CycleNumberRadio(), NumberingRadio::Cycle},
    };
    for (auto [radio, value] : numbering) {
        connect(radio, &QRadioButton::clicked, this, [s, radio, value] {
            if (radio->isChecked()) s->WriteNumbering(value);
        });
    }

    connect(albums_->ChooseFolderButton(), &QPushButton::clicked, this, [this, s] {
        QLineEdit* edit = albums_->SaveEdit();
        edit->setText(ToQString(s->ChooseSaveLocation(this, FromQString(edit->text()))));
    });
    connect(o.ChooseMp3Button(), &QPushButton::clicked, this, [this, s] {
        QLineEdit* edit = options_->Mp3Edit();
        edit->setText(ToQString(s->ChooseMp3(this, FromQString(edit->text()))));
    });
    connect(o.SaveMp3Button(), &QPushButton::clicked, this,
            [this, s] { s->WriteMp3Path(FromQString(options_->Mp3Edit()->text())); });
}

void MainWindow::OpenSaveFolder() {
    Text folder = FromQString(albums_->SaveEdit()->text());
    if (folder.empty()) folder = ProgramFolder();
    ShellOpen(2, folder);
}

void MainWindow::OpenAddress(const Text& address) {
    if (!address.empty()) ShellOpen(4, address);
}

WindowGeometry MainWindow::CurrentLayout() const {
    WindowGeometry g;
    g.tabs = tabs_->geometry();
    g.browser = login_->Browser()->geometry();
    g.albumPageButton = login_->AlbumPageButton()->geometry();
    g.openButton = login_->OpenButton()->geometry();
    g.urlEdit = login_->UrlEdit()->geometry();
    g.homeGroup = albums_->HomeGroup()->geometry();
    g.locationGroup = albums_->LocationGroup()->geometry();
    g.listGroup = albums_->ListGroup()->geometry();
    g.reportList = albums_->Albums()->geometry();
    g.logGroup = albums_->LogGroup()->geometry();
    g.userEdit = albums_->UserEdit()->geometry();
    g.getAlbumsButton = albums_->GetAlbumsButton()->geometry();
    g.downloadButton = albums_->DownloadButton()->geometry();
    g.pauseButton = albums_->PauseButton()->geometry();
    g.continueButton = albums_->ContinueButton()->geometry();
    g.endButton = albums_->EndButton()->geometry();
    g.saveEdit = albums_->SaveEdit()->geometry();
    g.chooseFolderButton = albums_->ChooseFolderButton()->geometry();
    g.openFolderButton = albums_->OpenFolderButton()->geometry();
    return g;
}

void MainWindow::SetLayout(const WindowGeometry& g) {
    tabs_->setGeometry(g.tabs);
    login_->Browser()->setGeometry(g.browser);
    login_->AlbumPageButton()->setGeometry(g.albumPageButton);
    login_->OpenButton()->setGeometry(g.openButton);
    login_->UrlEdit()->setGeometry(g.urlEdit);
    albums_->HomeGroup()->setGeometry(g.homeGroup);
    albums_->LocationGroup()->setGeometry(g.locationGroup);
    albums_->ListGroup()->setGeometry(g.listGroup);
    albums_->Albums()->setGeometry(g.reportList);
    albums_->LogGroup()->setGeometry(g.logGroup);
    albums_->UserEdit()->setGeometry(g.userEdit);
    albums_->GetAlbumsButton()->setGeometry(g.getAlbumsButton);
    albums_->DownloadButton()->setGeometry(g.downloadButton);
    albums_->PauseButton()->setGeometry(g.pauseButton);
    albums_->ContinueButton()->setGeometry(g.continueButton);
    albums_->EndButton()->setGeometry(g.endButton);
    albums_->SaveEdit()->setGeometry(g.saveEdit);
    albums_->ChooseFolderButton()->setGeometry(g.chooseFolderButton);
    albums_->OpenFolderButton()->setGeometry(g.openFolderButton);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (settings_) SetLayout(ApplyResizeLayout(CurrentLayout(), event->size().width()));
}

}  // namespace ovx
