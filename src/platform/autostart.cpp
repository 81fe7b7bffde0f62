#include "autostart.h"

#include "replacementFile.h"
#include "userFolders.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vantle::platform {
namespace {

// Characters that make an Exec argument need double quotes.
constexpr std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";

// A string value's escapes: \s \n \t \r \\.
std::string escapeStringValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescapeStringValue(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\', out += text[i];
        }
    }
    return out;
}

void createFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw std::system_error(errno, std::generic_category(), "cannot create " + part);
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

std::string autostartEntryPath() {
    return configHome() + "/autostart/vantle.desktop";
}

std::string desktopExecValue(const std::string& programPath) {
    std::string argument;
    if (programPath.find_first_of(Reserved) == std::string::npos) {
        argument = programPath;
    } else {
        argument = "\"";
        for (char c : programPath) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                argument += '\\';
            argument += c;
        }
        argument += '"';
    }
    std::string value;
    for (char c : argument) {
        value += c;
        if (c == '%') // a field code otherwise
            value += '%';
    }
    return escapeStringValue(value);
}

std::optional<std::string> programOfExecValue(const std::string& escaped) {
    const std::string value = unescapeStringValue(escaped);
    std::size_t i = value.find_first_not_of(" \t");
    if (i == std::string::npos)
        return std::nullopt;
    std::string program;
    if (value[i] == '"') {
        for (++i; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            program += value[i];
        }
        if (i == value.size())
            return std::nullopt; // unterminated quote
    } else {
        const std::size_t end = value.find_first_of(" \t", i);
        program = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    std::string unpercented;
    for (std::size_t k = 0; k < program.size(); ++k) {
        unpercented += program[k];
        if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%')
            ++k;
    }
    return unpercented;
}

std::optional<std::string> autostartProgram() {
    std::ifstream in(autostartEntryPath());
    if (!in)
        return std::nullopt;
    std::optional<std::string> program;
    bool inMainGroup = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        std::string value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Hidden" && value == "true")
            return std::nullopt;
        if (key == "Exec" && !program)
            program = programOfExecValue(value);
    }
    return program;
}

void writeAutostartEntry(const std::string& programPath) {
    const std::string path = autostartEntryPath();
    createFolders(path.substr(0, path.rfind('/')));
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=vantle\n"
                              "Comment=Shows how much of the month's download quota is used\n"
                              "Exec=" +
                              desktopExecValue(programPath) +
                              "\n"
                              "Icon=vantle\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    replaceFileDurably(path, entry, 0644);
}

void removeAutostartEntry() {
    const std::string path = autostartEntryPath();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw std::system_error(errno, std::generic_category(), "cannot remove " + path);
}

} // namespace vantle::platform
