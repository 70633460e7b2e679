// TIniFile: one INI document held in memory, read from and written back to
// one file (Windows path), all text 1251.
//
// Text format: for each section a line "[Name]", its "Key=Value" lines, one
// empty line; CR LF line ends (LF accepted). Sections and keys keep the order
// in which they were first written; names are compared without regard to
// case; blanks around keys and values are dropped; lines without '=' and
// lines starting with ';' are no keys (they are kept as they stand); of
// duplicate keys the first counts.
//
// Writing back is atomic: the text goes to a temporary file beside the target
// which then replaces it, so a failure never leaves a truncated file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/Variant.h"

namespace hv {

// When a file-backed document is written back.
enum class TIniWriteBack {
    Never,      // closing never touches the file
    OnClose,    // at Close/destruction, when an update bracket closes, and on UpdateFile
    Immediate,  // as OnClose, and after every change made outside an update bracket
};

class TIniFile {
  public:
    // Opens FileName, reading it in when it exists (a missing file is an empty
    // document). A file that exists but cannot be read raises EFOpenError, so
    // that writing back can never replace it by an empty one.
    explicit TIniFile(const std::string& fileName,
                      TIniWriteBack writeBack = TIniWriteBack::OnClose);
    // A document from text with no file behind it.
    static std::unique_ptr<TIniFile> FromText(std::string_view text);
    // Writes pending changes unless write-back is Never; a failure is shown, not thrown.
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }
    TIniWriteBack WriteBack() const { return writeBack_; }
    void SetWriteBack(TIniWriteBack mode);

    // ---- structure ---------------------------------------------------------------
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Section names in file order (a repeated section once).
    std::vector<std::string> SectionNames() const;
    // Key names of a section in order (a repeated key once).
    std::vector<std::string> KeyNames(const std::string& section) const;
    // Number of key lines of a section; what a count read from it may reach.
    int KeyCount(const std::string& section) const;
    void EraseSection(const std::string& section);
    // Empties the document.
    void Clear();

    // ---- values ------------------------------------------------------------------
    // The trimmed value of the key, or Default when the section or key is absent.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // As ReadString; a present value of 2 or more characters enclosed in
    // double quotes loses them.
    std::string ReadUnquoted(const std::string& section, const std::string& key,
                             const std::string& def) const;
    // Replaces the key's value or appends the key (the section is added at the
    // end when absent). Line breaks in Value become blanks: the text format
    // cannot hold them. A key or section name the format cannot hold raises
    // EConvertError.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteQuoted(const std::string& section, const std::string& key, const std::string& value);
    // Decimal, or hexadecimal after 0x/0X (or $); anything else gives Default.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    // Integer read with Default as 1/0; true when not 0.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // YYYYMMDD gives that date at midnight; an empty or any other value gives Default.
    TDateTime ReadDate(const std::string& section, const std::string& key, TDateTime def) const;
    // The date part only, YYYYMMDD.
    void WriteDate(const std::string& section, const std::string& key, TDateTime value);
    // Unquoted text with the locale's decimal separator; empty gives Default;
    // text that does not convert raises EConvertError.
    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    // Shortest decimal text (up to 15 digits), quoted.
    void WriteFloat(const std::string& section, const std::string& key, double value);

    // ---- writing back ----------------------------------------------------------
    // Nesting counter; when it returns to 0 a changed file-backed document is written.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const;
    bool Modified() const;
    // Writes the document to FileName now when it has changes. Raises
    // EFCreateError on failure; the file on disk is then the old one and the
    // changes stay pending.
    void UpdateFile();
    // UpdateFile unless write-back is Never.
    void Close();
    // Reads the file again, dropping changes not written.
    void Reload();
    // Reads the file again when it changed on disk since it was last read or
    // written and no change is pending; true when it did.
    bool Refresh();

    // The document as file text, and replacing it by a text.
    std::string Text() const;
    void SetText(std::string_view text);
    // Writes the text to any file, atomically (EFCreateError on failure).
    void SaveToFile(const std::string& fileName) const;

  private:
    struct Line {
        std::string key;  // empty for a line that is no key (comment, stray text)
        std::string value;
        std::string raw;  // the line as read, for lines that are no key
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
        // Upper-cased key -> index of its first line.
        std::unordered_map<std::string, size_t> index;
        void Reindex();
    };
    struct Stamp {
        bool exists = false;
        int64_t size = 0, mtimeNs = 0, inode = 0;
        bool operator==(const Stamp&) const = default;
    };

    TIniFile() = default;
    void Parse(std::string_view text);
    void ReindexSections();
    const Section* FindSection(const std::string& name) const;
    Section* FindSection(const std::string& name);
    const Line* FindLine(const std::string& section, const std::string& key) const;
    bool Lookup(const std::string& section, const std::string& key, std::string& value) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void Changed();
    void Flush();
    void LoadFromDisk();
    Stamp DiskStamp() const;
    std::string TextUnlocked() const;

    std::string fileName_;
    TIniWriteBack writeBack_ = TIniWriteBack::Never;
    std::vector<std::string> preamble_;  // lines before the first section
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;  // upper-cased name -> first
    int updateCount_ = 0;
    bool modified_ = false;
    Stamp stamp_;
    mutable std::recursive_mutex mutex_;
};

// ---- the value texts, as pure functions ------------------------------------------
// Decimal or 0x/0X/$ hexadecimal (at most 32 bits) into Out; false otherwise.
bool ParseIniInteger(std::string_view s, int32_t& out);
// Exactly 8 characters YYYYMMDD forming an existing date; false otherwise.
bool ParseIniDate(std::string_view s, TDateTime& out);
std::string IniDateText(TDateTime value);
// Text with the locale's decimal separator; false when it does not convert.
bool ParseIniFloat(std::string_view s, double& out);
// Removes one pair of enclosing double quotes from a text of 2 or more characters.
std::string Unquote(std::string_view s);

// Writes Data to a Windows path through a temporary file beside it that then
// replaces the target. Raises EFCreateError with the reason; the old file is
// then untouched and no temporary file is left.
void WriteFileAtomic(const std::string& fileName, std::string_view data);

}  // namespace hv
