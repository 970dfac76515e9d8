// The generator's window: the text boxes, the check box and the three buttons.
#pragma once

#include <QWidget>

#include "generator/logic/generator_inputs.h"
#include "generator/logic/tarrow_mgr_actions.h"
#include "generator/posix/posix_file_system.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarrowmgr {

class TarrowMgrFrm : public QWidget, public GeneratorForm {
    Q_OBJECT
public:
    // defaults fill the controls; readmeAddress is what the Information button opens.
    TarrowMgrFrm(const GeneratorInputs& defaults, const std::string& readmeAddress, QWidget* parent = nullptr);

    // GeneratorForm, over the controls. Texts pass as Latin-1.
    GeneratorInputs inputs() const override;
    void setWorkingDirText(const std::string& text) override;
    void showMessage(const std::string& text, const std::string& caption) override;
    std::string browseForDirectory(const std::string& title, const std::string& startFolder) override;
    void openDocument(const std::string& address) override;

private:
    QLabel* addLabel(const char* name, const char* caption, QRect twips, const char* tip);
    QLineEdit* addTextBox(const char* name, const std::string& text, QRect twips, const char* tip);

    QLineEdit* userNameText_;
    QLineEdit* passwordText_;
    QLineEdit* qdsTreeText_;
    QLineEdit* contextText_;
    QLineEdit* serverNameText_;
    QLineEdit* timeoutText_;
    QCheckBox* randomCheckBox_;
    QLineEdit* numUsersText_;
    QLineEdit* wPathText_;
    QPushButton* browseWPath_;
    QLineEdit* csvFileText_;
    QLineEdit* broadCastAddrText_;
    QPushButton* infoBrowse_;
    QPushButton* writeCsv_;

    PosixFileSystem files_;
    TarrowMgrActions actions_;
};

}  // namespace tarrowmgr
