#include "programFolders.h"

#include "lib/utils/FileUtils.h"

namespace vantle {
namespace {

const char* const ProgramFolderName = "vantle/";

} // namespace

std::string programSettingsFolder() {
    return SpecialFolderPath(TCSIDL::APPDATA, {TCSIDLFlag::dontUnexpand}) + ProgramFolderName;
}

std::string programDataFolder() {
    return SpecialFolderPath(TCSIDL::LOCAL_APPDATA, {TCSIDLFlag::dontUnexpand}) + ProgramFolderName;
}

} // namespace vantle
