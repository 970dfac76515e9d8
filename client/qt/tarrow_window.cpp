#include "client/qt/tarrow_window.h"

#include <QFont>
#include <QFontMetrics>
#include <QLayout>
#include <QMenuBar>
#include <QStatusBar>

#include "client/qt/form_shortcuts.h"

namespace tarrow::qt {
namespace {

// The label widths were measured for the description's 8-point face; where the stand-in face
// runs wider, the caption is narrowed (stretch, then letter spacing) rather than cut at its end.
void fitCaption(QLabel* label) {
    const QString shown = QString(label->text()).remove(QLatin1Char('&'));
    QFont font = label->font();
    const auto fits = [&] { return QFontMetrics(font).horizontalAdvance(shown) <= label->width(); };
    for (int stretch = 98; !fits() && stretch >= 80; stretch -= 2) font.setStretch(stretch);
    for (qreal spacing = -0.25; !fits() && spacing >= -1.5; spacing -= 0.25) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    if (font != label->font()) label->setFont(font);
}

QLabel* makeLabel(QWidget* parent, const char* caption, QRect geometry, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setGeometry(geometry);
    fitCaption(label);
    // The buddy shows the underlined letter; the form's action serves the key (FormShortcuts).
    label->setBuddy(buddy);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, QRect geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    return edit;
}

QComboBox* makeCombo(QWidget* parent, QRect geometry) {
    auto* combo = new QComboBox(parent);
    combo->setGeometry(geometry);
    combo->setEditable(true);
    // Typed text stays in the edit field; the list keeps the items the form put there.
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

}  // namespace

TarrowWindow::TarrowWindow() {
    // The captions were sized for a narrow 8-point face; where it is missing, the nearest
    // narrow faces stand in so that "Username:" and "Function:" still fit their labels.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    setFont(font);

    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, 428);
    setCentralWidget(client);
    buildControls(client);
    buildMenu();
    buildActions();

    auto* bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    bar->setFixedSize(kClientWidth, kClientHeight - 428);
    bar->setContentsMargins(0, 0, 0, 0);
    statPanel = new QLabel(bar);
    statPanel->setTextFormat(Qt::PlainText);
    bar->addWidget(statPanel, 1);
    setStatusBar(bar);

    // Single fixed border: the window keeps the size of its parts.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(kLeft, kTop);

    controls_.reset(new Controls{QtFormWindow(*this), QtEditBox(*edtUser), QtEditBox(*edtPasswd),
                                 QtEditBox(*edtTree), QtEditBox(*edtContext), QtEditBox(*edtServer),
                                 QtComboBox(*cmbVendor), QtComboBox(*cmbFunction), QtLabel(*lblFuncTimer),
                                 QtButton(*btnExecute), QtMenuItem(*miOptionsBatch),
                                 QtMenuItem(*miOptionsClient), QtLogPane(*memDebug), QtStatusBar(*statPanel)});
    controls_->passwd.setPasswordChar('*');
}

TarrowWindow::~TarrowWindow() = default;

void TarrowWindow::buildControls(QWidget* client) {
    grpGeneral = new QGroupBox(QStringLiteral("General Info"), client);
    grpGeneral->setGeometry(5, 15, 211, 156);
    edtUser = makeEdit(grpGeneral, {65, 25, 136, 21});
    edtPasswd = makeEdit(grpGeneral, {65, 50, 136, 21});
    edtTree = makeEdit(grpGeneral, {65, 75, 136, 21});
    edtContext = makeEdit(grpGeneral, {65, 100, 136, 21});
    edtServer = makeEdit(grpGeneral, {65, 125, 136, 21});
    lblUsername = makeLabel(grpGeneral, "&Username:", {10, 30, 51, 13}, edtUser);
    lblPassword = makeLabel(grpGeneral, "&Password:", {10, 55, 49, 13}, edtPasswd);
    lblTree = makeLabel(grpGeneral, "&Tree:", {35, 80, 25, 13}, edtTree);
    lblContext = makeLabel(grpGeneral, "&Context:", {20, 105, 39, 13}, edtContext);
    lblServer = makeLabel(grpGeneral, "&Server:", {25, 130, 34, 13}, edtServer);

    grpDirectory = new QGroupBox(QStringLiteral("Directory"), client);
    grpDirectory->setGeometry(225, 15, 216, 81);
    cmbVendor = makeCombo(grpDirectory, {60, 25, 145, 21});
    cmbFunction = makeCombo(grpDirectory, {60, 50, 145, 21});
    lblVendor = makeLabel(grpDirectory, "&Vendor:", {15, 30, 37, 13}, cmbVendor);
    lblFunction = makeLabel(grpDirectory, "&Function:", {10, 55, 44, 13}, cmbFunction);

    lblFuncTimer = new QLabel(client);
    lblFuncTimer->setTextFormat(Qt::PlainText);
    lblFuncTimer->setGeometry(225, 130, 211, 13);
    lblFuncTimer->setFixedSize(211, 13);
    lblFuncTimer->hide();

    btnExecute = new QPushButton(QStringLiteral("&Execute"), client);
    btnExecute->setGeometry(360, 150, 75, 20);

    memDebug = new QPlainTextEdit(client);
    memDebug->setGeometry(5, 180, 436, 246);
    memDebug->setReadOnly(true);
    memDebug->setLineWrapMode(QPlainTextEdit::NoWrap);
    memDebug->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memDebug->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memDebug->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    // An undo history of a log that only grows would cost memory and time per line.
    memDebug->setUndoRedoEnabled(false);
    memDebug->setMaximumBlockCount(0);

    QWidget::setTabOrder(edtUser, edtPasswd);
    QWidget::setTabOrder(edtPasswd, edtTree);
    QWidget::setTabOrder(edtTree, edtContext);
    QWidget::setTabOrder(edtContext, edtServer);
    QWidget::setTabOrder(edtServer, cmbVendor);
    QWidget::setTabOrder(cmbVendor, cmbFunction);
    QWidget::setTabOrder(cmbFunction, btnExecute);
}

void TarrowWindow::buildMenu() {
    mgFile = menuBar()->addMenu(QStringLiteral("&File"));
    miFileExit = mgFile->addAction(QStringLiteral("E&xit"));
    miFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));

    mgOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    miOptionsBatch = mgOptions->addAction(QStringLiteral("&Batch Mode"));
    miOptionsBatch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    miOptionsBatch->setCheckable(true);
    miOptionsBatch->setChecked(false);
    miOptionsClient = mgOptions->addAction(QStringLiteral("&Client Mode"));
    miOptionsClient->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    miOptionsClient->setCheckable(true);
    miOptionsClient->setChecked(true);
    // The menu's default item is drawn in bold.
    QFont bold = miOptionsClient->font();
    bold.setBold(true);
    miOptionsClient->setFont(bold);
}

void TarrowWindow::buildActions() {
    shortcuts_ = new FormShortcuts(*this);
    const auto makeAction = [this](const char* name, Qt::Key key) {
        auto* action = new QAction(QString::fromLatin1(name), this);
        action->setShortcut(QKeySequence(Qt::ALT | key));
        addAction(action);
        shortcuts_->add(action);
        return action;
    };
    actnUsername = makeAction("actnUsername", Qt::Key_U);
    actnPasswd = makeAction("actnPasswd", Qt::Key_P);
    actnTree = makeAction("actnTree", Qt::Key_T);
    actnContext = makeAction("actnContext", Qt::Key_C);
    actnServer = makeAction("actnServer", Qt::Key_S);
    actnVendor = makeAction("actnVendor", Qt::Key_V);
    actnFunction = makeAction("actnFunction", Qt::Key_F);
    shortcuts_->add(miFileExit);
    shortcuts_->add(miOptionsBatch);
    shortcuts_->add(miOptionsClient);
}

}  // namespace tarrow::qt
