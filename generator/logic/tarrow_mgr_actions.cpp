#include "generator/logic/tarrow_mgr_actions.h"

#include <utility>

#include "generator/logic/workload_writer.h"

namespace tarrowmgr {

TarrowMgrActions::TarrowMgrActions(GeneratorForm& form, FileSystem& files, std::string readmeAddress)
    : form_(form), files_(files), readmeAddress_(std::move(readmeAddress)) {}

void TarrowMgrActions::WriteCSV_Click() {
    if (const auto failure = writeWorkloadFiles(form_.inputs(), random_, files_))
        form_.showMessage(failure->text, kCaption);
}

void TarrowMgrActions::BrowseWPath_Click() {
    const std::string chosen = form_.browseForDirectory(kBrowseTitle, form_.inputs().workingDir);
    if (!chosen.empty()) form_.setWorkingDirText(chosen);
}

void TarrowMgrActions::InfoBrowse_Click() { form_.openDocument(readmeAddress_); }

}  // namespace tarrowmgr
