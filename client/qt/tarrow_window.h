// The client's main window, built from the form description: every control at its place,
// with its caption, tab order and shortcuts. It holds no logic; the front end connects its
// actions and the button to the form.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

#include "client/qt/qt_controls.h"

namespace tarrow::qt {

class FormShortcuts;

class TarrowWindow final : public QMainWindow {
public:
    static constexpr int kClientWidth = 448;
    static constexpr int kClientHeight = 447;
    static constexpr int kLeft = 78;
    static constexpr int kTop = 47;

    TarrowWindow();
    ~TarrowWindow() override;

    // Components, named as in the form description; owned by the window.
    QGroupBox* grpGeneral;
    QLabel* lblUsername;
    QLineEdit* edtUser;
    QLabel* lblPassword;
    QLineEdit* edtPasswd;
    QLabel* lblTree;
    QLineEdit* edtTree;
    QLabel* lblContext;
    QLineEdit* edtContext;
    QLabel* lblServer;
    QLineEdit* edtServer;
    QGroupBox* grpDirectory;
    QLabel* lblVendor;
    QComboBox* cmbVendor;
    QLabel* lblFunction;
    QComboBox* cmbFunction;
    QLabel* lblFuncTimer;
    QPushButton* btnExecute;
    QPlainTextEdit* memDebug;
    QLabel* statPanel;  // the status bar's single simple panel

    QMenu* mgFile;
    QAction* miFileExit;
    QMenu* mgOptions;
    QAction* miOptionsBatch;
    QAction* miOptionsClient;

    QAction* actnUsername;
    QAction* actnPasswd;
    QAction* actnTree;
    QAction* actnContext;
    QAction* actnServer;
    QAction* actnVendor;
    QAction* actnFunction;

    // The adapters the form logic works through.
    struct Controls {
        QtFormWindow window;
        QtEditBox user;
        QtEditBox passwd;
        QtEditBox tree;
        QtEditBox context;
        QtEditBox server;
        QtComboBox vendor;
        QtComboBox function;
        QtLabel funcTimer;
        QtButton execute;
        QtMenuItem optionsBatch;
        QtMenuItem optionsClient;
        QtLogPane debug;
        QtStatusBar status;
    };
    Controls& controls() { return *controls_; }

private:
    void buildControls(QWidget* client);
    void buildMenu();
    void buildActions();

    std::unique_ptr<Controls> controls_;
    FormShortcuts* shortcuts_;
};

}  // namespace tarrow::qt
