#include "generator/qt/TarrowMgrFrm.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "generator/qt/BrowseDirectorysOnly.h"

namespace tarrowmgr {
namespace {

// Positions and sizes are given in twips; 15 twips make one pixel at 96 dots per inch.
QRect fromTwips(QRect twips) {
    return {twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15};
}

QString toQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text) { return text.toLatin1().toStdString(); }

// Folder and file names are shown and handed on in the file system's own encoding, so that
// a name the operator sees, or the folder browser returns, is the one on disk.
QString pathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string pathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

const char* const kUserNameTip =
    "This will be the Username as entered with a numeric value appended to the Username.";
const char* const kPasswordTip = "Password for the User entered above.";
const char* const kTreeTip =
    "The IP address of a server holding a R/W replica of QDS. The Name of the QDS Tree may "
    "work.";
const char* const kServerNameTip = "The Server Name value is NOT used at this time.";
const char* const kTimeoutTip = "Timeout length in seconds before another attempt will be made.";
const char* const kRandomTip =
    "A random value between 1 and 60 will be used for the timeout length in seconds.";
const char* const kNumUsersTip = "Number of users to be generated for use in the CSV file.";
const char* const kWPathTip = "This should be the directory where the Tarrow files are to be written.";
const char* const kBrowseTip = "Browse to the directory where the Tarrow files are to be written.";
const char* const kCsvFileTip = "The Name of the user.csv file to write to.";
const char* const kBroadcastTip = "The broadcast address for the subnet you're clients are on.";
const char* const kWriteTip =
    "This button will write the comma \",\" delimited CSV file, the Tarrow.ini and the "
    "TarrowCtrl.ini file.";

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, QRect twips, const char* tip,
                        bool bold) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(fromTwips(twips));
    button->setAutoDefault(false);
    if (tip != nullptr) button->setToolTip(QString::fromLatin1(tip));
    if (bold) {
        QFont font = button->font();
        font.setWeight(QFont::Bold);
        button->setFont(font);
    }
    return button;
}

}  // namespace

TarrowMgrFrm::TarrowMgrFrm(const GeneratorInputs& defaults, const std::string& readmeAddress, QWidget* parent)
    : QWidget(parent), actions_(*this, files_, readmeAddress) {
    setObjectName(QStringLiteral("TarrowMgrFrm"));
    setWindowTitle(QStringLiteral("TarrowMgr"));
    // The captions were sized for a narrow 8-point face; on Linux the nearest narrow faces
    // stand in, narrowest first: in DejaVu Sans Condensed "Broadcast Address" overruns its
    // label by three pixels.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Nimbus Sans Narrow"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(8.25);
    setFont(font);
    // Nothing reacts to a change of size, so the window keeps the size of its layout.
    setFixedSize(5250 / 15, 4740 / 15);

    addLabel("UnameTxt", "User Name", {120, 360, 855, 255}, kUserNameTip);
    userNameText_ = addTextBox("UserNameText", defaults.userName, {1560, 360, 3015, 285}, kUserNameTip);
    addLabel("PwdTxt", "Password", {120, 720, 855, 255}, kPasswordTip);
    passwordText_ = addTextBox("PasswordText", defaults.password, {1560, 720, 3015, 285}, kPasswordTip);
    addLabel("QDSTreeTxt", "QDS Tree", {120, 1080, 855, 255}, kTreeTip);
    qdsTreeText_ = addTextBox("QDSTreeText", defaults.tree, {1560, 1080, 3015, 285}, kTreeTip);
    addLabel("ContextTxt", "Context", {120, 1440, 855, 255}, nullptr);
    contextText_ = addTextBox("ContextText", defaults.context, {1560, 1440, 3015, 285}, nullptr);
    addLabel("ServerNameTxt", "Server Name", {120, 1800, 1095, 255}, kServerNameTip);
    serverNameText_ = addTextBox("ServerNameText", defaults.serverName, {1560, 1800, 3015, 285},
                                 kServerNameTip);
    addLabel("TimeoutTxt", "Timeout", {120, 2160, 855, 255}, kTimeoutTip);
    timeoutText_ = addTextBox("TimeoutText", defaults.timeout, {1560, 2160, 615, 285}, kTimeoutTip);

    randomCheckBox_ = new QCheckBox(QStringLiteral("Random?"), this);
    randomCheckBox_->setObjectName(QStringLiteral("RandomCheckBox"));
    randomCheckBox_->setGeometry(fromTwips({3480, 2160, 1095, 255}));
    randomCheckBox_->setChecked(defaults.random);
    randomCheckBox_->setToolTip(QString::fromLatin1(kRandomTip));

    addLabel("NumUsersTxt", "Number of Users", {120, 2520, 1695, 255}, kNumUsersTip);
    numUsersText_ = addTextBox("NumUsersText", defaults.numUsers, {1560, 2520, 1095, 285}, kNumUsersTip);
    addLabel("WPathTxt", "Working Dir", {120, 2880, 1095, 255}, kWPathTip);
    wPathText_ = addTextBox("WPathText", defaults.workingDir, {1560, 2880, 2535, 285}, kWPathTip);
    wPathText_->setText(pathToQt(defaults.workingDir));
    browseWPath_ = makeButton(this, "BrowseWPath", "...", {4200, 2880, 615, 255}, kBrowseTip, true);
    addLabel("CsvFileTxt", "CSV File Name", {120, 3240, 1095, 255}, kCsvFileTip);
    csvFileText_ = addTextBox("CsvFileText", defaults.csvFile, {1560, 3240, 2535, 285}, kCsvFileTip);
    csvFileText_->setText(pathToQt(defaults.csvFile));
    addLabel("Label1", "Broadcast Address", {120, 3600, 1335, 255}, kBroadcastTip);
    broadCastAddrText_ = addTextBox("BroadCastAddrText", defaults.broadcast, {1560, 3600, 3015, 285},
                                    kBroadcastTip);
    infoBrowse_ = makeButton(this, "InfoBrowse", "Information", {120, 3960, 1335, 495}, nullptr, false);
    writeCsv_ = makeButton(this, "WriteCSV", "Write CSV and INI Files", {1560, 3960, 2535, 495}, kWriteTip,
                           true);

    // Labels hold places in the order but never take focus.
    const QWidget* order[] = {userNameText_, passwordText_,      qdsTreeText_,  contextText_, serverNameText_,
                              timeoutText_,  randomCheckBox_,    numUsersText_, wPathText_,   browseWPath_,
                              csvFileText_,  broadCastAddrText_, writeCsv_,     infoBrowse_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    userNameText_->setFocus();

    connect(browseWPath_, &QPushButton::clicked, this, [this] { actions_.BrowseWPath_Click(); });
    connect(infoBrowse_, &QPushButton::clicked, this, [this] { actions_.InfoBrowse_Click(); });
    connect(writeCsv_, &QPushButton::clicked, this, [this] { actions_.WriteCSV_Click(); });
}

QLabel* TarrowMgrFrm::addLabel(const char* name, const char* caption, QRect twips, const char* tip) {
    auto* label = new QLabel(QString::fromLatin1(caption), this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(fromTwips(twips));
    if (tip != nullptr) label->setToolTip(QString::fromLatin1(tip));
    return label;
}

QLineEdit* TarrowMgrFrm::addTextBox(const char* name, const std::string& text, QRect twips, const char* tip) {
    auto* box = new QLineEdit(toQt(text), this);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(fromTwips(twips));
    box->setMaxLength(std::numeric_limits<int>::max());  // no length limit
    if (tip != nullptr) box->setToolTip(QString::fromLatin1(tip));
    return box;
}

GeneratorInputs TarrowMgrFrm::inputs() const {
    GeneratorInputs values;
    values.userName = fromQt(userNameText_->text());
    values.password = fromQt(passwordText_->text());
    values.tree = fromQt(qdsTreeText_->text());
    values.context = fromQt(contextText_->text());
    values.serverName = fromQt(serverNameText_->text());
    values.timeout = fromQt(timeoutText_->text());
    values.random = randomCheckBox_->isChecked();
    values.numUsers = fromQt(numUsersText_->text());
    values.workingDir = pathFromQt(wPathText_->text());
    values.csvFile = pathFromQt(csvFileText_->text());
    values.broadcast = fromQt(broadCastAddrText_->text());
    return values;
}

void TarrowMgrFrm::setWorkingDirText(const std::string& text) { wPathText_->setText(pathToQt(text)); }

void TarrowMgrFrm::showMessage(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, toQt(caption), toQt(text), QMessageBox::Ok, this);
    box.exec();
}

std::string TarrowMgrFrm::browseForDirectory(const std::string& title, const std::string& startFolder) {
    return pathFromQt(BrowseForDirectory(this, toQt(title), pathToQt(startFolder)));
}

void TarrowMgrFrm::openDocument(const std::string& address) {
    // The answer is not looked at: a browser that cannot be started changes nothing here.
    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(address)));
}

}  // namespace tarrowmgr
