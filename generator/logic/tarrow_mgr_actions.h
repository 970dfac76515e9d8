// The generator window's three click actions, free of any window system.
#pragma once

#include <string>

#include "generator/logic/file_system.h"
#include "generator/logic/generator_inputs.h"
#include "generator/logic/random_source.h"

namespace tarrowmgr {

inline constexpr const char* kCaption = "TarrowMgr";
inline constexpr const char* kBrowseTitle = "Select A Directory to write working files to.";

// What the actions need of the window.
class GeneratorForm {
public:
    virtual ~GeneratorForm() = default;
    // The texts of the text boxes and the state of the check box, as typed.
    virtual GeneratorInputs inputs() const = 0;
    virtual void setWorkingDirText(const std::string& text) = 0;
    // A modal message box with an OK button.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // Lets the operator pick a folder, starting at startFolder; the chosen folder with "/"
    // appended, or an empty text when the operator cancels.
    virtual std::string browseForDirectory(const std::string& title, const std::string& startFolder) = 0;
    // Asks the platform to show a document in the web browser; failures are not reported.
    virtual void openDocument(const std::string& address) = 0;
};

class TarrowMgrActions {
public:
    // readmeAddress is the document the Information button opens.
    TarrowMgrActions(GeneratorForm& form, FileSystem& files, std::string readmeAddress);

    // Writes the three files from the window's values; a failure is shown in a message box.
    void WriteCSV_Click();
    // Lets the operator pick the working folder; a cancel keeps the text as it was.
    void BrowseWPath_Click();
    // Opens the read-me document; nothing is reported when that fails.
    void InfoBrowse_Click();

private:
    GeneratorForm& form_;
    FileSystem& files_;
    std::string readmeAddress_;
    RandomSource random_;  // one sequence per program run, continued across presses
};

}  // namespace tarrowmgr
