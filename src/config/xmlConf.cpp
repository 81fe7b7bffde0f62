#include "xmlConf.h"

#include "xmlTree.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "platform/replacementFile.h"

#include <cstring>
#include <filesystem>
#include <strings.h>
#include <system_error>

namespace vantle {
namespace {

// The file holds the account password: readable by the user only.
constexpr unsigned SettingsFileMode = 0600;

pugi::xml_node childIgnoringCase(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && std::strlen(child.name()) == name.size() &&
            strncasecmp(child.name(), name.data(), name.size()) == 0)
            return child;
    return {};
}

// pugixml ends lines with LF; the file uses CR LF.
struct CrLfWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        for (size_t i = 0; i < size; ++i) {
            if (bytes[i] == '\n')
                out += '\r';
            out += bytes[i];
        }
    }
};

} // namespace

TxmlConf::TxmlConf(std::string fileName, Unparsable unparsable)
    : fileName_(std::move(fileName)) {
    std::error_code ec;
    if (std::filesystem::exists(fileName_, ec)) {
        const std::string bytes = ReadFileText(fileName_);
        const pugi::xml_parse_result result = document_.load_buffer(
            bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_declaration);
        // Nothing reads a settings file that deep, and writing it back indented, or editing it,
        // would take more memory or stack than there is.
        const bool tooDeep = result && xmlDepth(document_) > MaxXmlDepth;
        if (!result || tooDeep) {
            const std::string problem =
                "Cannot read the settings file \"" + fileName_ + "\": " +
                (tooDeep ? "it nests deeper than " + std::to_string(MaxXmlDepth) + " levels"
                         : result.description() + std::string(" at offset ") +
                               std::to_string(result.offset));
            if (unparsable == Unparsable::fail)
                throw Error(problem);
            runtime::outputDebugString(problem + "; it is kept as " + fileName_ + ".corrupt");
            // It holds the enciphered password as the settings file did.
            try {
                platform::replaceFileDurably(fileName_ + ".corrupt", bytes, SettingsFileMode);
            } catch (const std::system_error& e) {
                throw Error(std::string("Cannot keep the settings file aside: ") + e.what());
            }
            document_.reset();
        }
    }
    if (document_.document_element() &&
        std::strcmp(document_.document_element().name(), "conf") != 0)
        document_.reset();
    if (!document_.document_element()) {
        document_.reset();
        document_.append_child("conf");
    }
    // The file is written in UTF-8 whatever the declaration said when it was read.
    for (pugi::xml_node node = document_.first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        if (node.type() == pugi::node_declaration)
            document_.remove_child(node);
        node = next;
    }
    pugi::xml_node declaration = document_.prepend_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
}

TxmlConf::~TxmlConf() {
    if (released_)
        return;
    try {
        release();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

std::string TxmlConf::ReadValue(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const std::string path = std::string(section) + "/" + std::string(key);
    const pugi::xml_node found = document_.document_element().first_element_by_path(path.c_str());
    return found ? xmlText(found) : std::string(defaultValue);
}

std::vector<std::pair<std::string, std::string>>
TxmlConf::ReadSection(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> keys;
    const pugi::xml_node found = document_.document_element().child(std::string(section).c_str());
    for (pugi::xml_node key = found.first_child(); key; key = key.next_sibling())
        if (key.type() == pugi::node_element)
            keys.emplace_back(key.name(), xmlText(key));
    return keys;
}

void TxmlConf::WriteValue(std::string_view section, std::string_view key, std::string_view value) {
    changed_ = true;
    pugi::xml_node root = document_.document_element();
    pugi::xml_node sectionNode = childIgnoringCase(root, section);
    if (!sectionNode)
        sectionNode = root.append_child(std::string(section).c_str());
    pugi::xml_node keyNode = childIgnoringCase(sectionNode, key);
    if (!keyNode)
        keyNode = sectionNode.append_child(std::string(key).c_str());
    while (keyNode.first_child())
        keyNode.remove_child(keyNode.first_child());
    if (!value.empty())
        keyNode.append_child(pugi::node_pcdata).set_value(std::string(value).c_str());
    if (SaveAfterChange)
        Flush();
}

void TxmlConf::Flush() {
    flush(false);
}

void TxmlConf::release() {
    released_ = true;
    flush(true);
}

std::string TxmlConf::text() const {
    CrLfWriter writer;
    document_.save(writer, "  ", pugi::format_indent | pugi::format_no_declaration,
                   pugi::encoding_utf8);
    return writer.out;
}

void TxmlConf::flush(bool releasing) {
    if (DocReadOnly || !(changed_ || releasing))
        return;
    try {
        platform::replaceFileDurably(fileName_, text(), SettingsFileMode);
    } catch (const std::system_error& e) {
        throw Error(std::string("Cannot write the settings file: ") + e.what());
    }
    changed_ = false;
}

} // namespace vantle
