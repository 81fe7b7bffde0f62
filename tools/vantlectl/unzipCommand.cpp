// vantlectl unzip: lists or extracts the members of an archive with the program's own reader.
#include "commands.h"

#include "archive/unzip.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"

#include <cstdio>

namespace vantle::ctl {

int unzipCommand(const Arguments& arguments) {
    const bool list = !arguments.empty() && arguments[0] == "--list";
    if (list ? arguments.size() != 2 : arguments.empty() || arguments.size() > 2)
        throw Error("takes ARCHIVE [DIR] or --list ARCHIVE");
    const std::string archive = ReadFileText(arguments[list ? 1 : 0]);
    Tunzip unzip(archive);
    if (list) {
        for (const std::string& name : unzip.names())
            std::printf("%s\n", name.c_str());
        return 0;
    }
    // Unlike extractAll, every member is tried, so that one failure hides none of the others.
    const std::string folder = arguments.size() == 2 ? arguments[1] : "";
    int status = 0;
    for (const std::string& name : unzip.names()) {
        std::string result = Tunzip::errorText(0);
        try {
            unzip.extractToFile(name, Tunzip::memberPath(folder, name));
        } catch (const Error& e) {
            result = e.what();
            status = 1;
        }
        std::printf("%s: %s\n", name.c_str(), result.c_str());
    }
    return status;
}

} // namespace vantle::ctl
