// The settings document: sections of keys below a "conf" root, written back whole after each
// change.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantle {

class TxmlConf {
public:
    enum class Unparsable { fail, startAfresh };

    // Reads the file when it exists. A document with another root than "conf" is replaced by
    // an empty one; a document without a root gets an empty "conf" root. The document always
    // starts with the declaration of version 1.0 in UTF-8.
    // A file that cannot be read, or that is not XML, raises Error naming the file; with
    // startAfresh a file that is not XML is kept beside as fileName + ".corrupt" and the
    // document starts empty instead.
    explicit TxmlConf(std::string fileName, Unparsable unparsable = Unparsable::fail);
    // Releases (see release) unless that was done already; failures go to the debugger output.
    ~TxmlConf();
    TxmlConf(const TxmlConf&) = delete;
    TxmlConf& operator=(const TxmlConf&) = delete;

    // The text of the first element at section/key below the root (names match exactly), or
    // the default.
    std::string ReadValue(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;
    // The keys of a section (names match exactly) with their texts, in document order.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    // Sets the text of section/key (names matched ignoring letter case, created when missing)
    // and, with SaveAfterChange, flushes.
    void WriteValue(std::string_view section, std::string_view key, std::string_view value);

    // Writes the document when it changed, unless DocReadOnly.
    void Flush();
    // Writes the document, changed or not (unless DocReadOnly); the wrapper is done afterwards.
    void release();

    bool SaveAfterChange = true;
    bool DocReadOnly = false;

    // The bytes the file gets: UTF-8 without byte-order mark, CR LF line ends, two-space
    // indentation.
    std::string text() const;

private:
    void flush(bool releasing);

    std::string fileName_;
    pugi::xml_document document_;
    bool changed_ = false;
    bool released_ = false;
};

} // namespace vantle
