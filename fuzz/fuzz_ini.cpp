// libFuzzer target: the INI reader, the typed readers and the string-list
// reader over arbitrary text. Any crash, hang or unbounded allocation is a
// fault; so is a text that does not read back to itself once written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dialogs/Messages.h"
#include "settings/IniFile.h"
#include "settings/IniSections.h"
#include "util/StringList.h"

namespace {

// Restoring shows messages; the fuzzer has nobody to show them to.
class Silent : public hv::MessageHandler {
  public:
    int Ask(const hv::MessageRequest& r) override { return r.escapeResult; }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Silent silent;
    hv::MessageHandler* previous = hv::InstallMessageHandler(&silent);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto ini = hv::TIniFile::FromText(text);

    for (const std::string& section : ini->SectionNames()) {
        Check(ini->SectionExists(section));
        for (const std::string& key : ini->KeyNames(section)) {
            Check(ini->ValueExists(section, key));
            ini->ReadString(section, key, {});
            ini->ReadUnquoted(section, key, {});
            ini->ReadInteger(section, key, 0);
            ini->ReadBool(section, key, true);
            ini->ReadDate(section, key, 0);
            try {
                ini->ReadFloat(section, key, 0);
            } catch (const hv::EConvertError&) {
            }
        }
        hv::TStringList list;
        int index = 0;
        hv::RestIniStrings(*ini, section, &list, index);
        Check(list.Count() <= ini->KeyCount(section));

        hv::TConfiguration cfg;
        auto table = hv::ConfigurationTable(cfg);
        hv::RestIniSection(*ini, section, table);
    }
    hv::ReadDriveMap(*ini);

    // Written text is a fixed point of reading and writing.
    const std::string once = ini->Text();
    Check(hv::TIniFile::FromText(once)->Text() == once);

    // A value written under a fresh key reads back as written, without blanks
    // and line breaks at its ends.
    if (!ini->SectionNames().empty()) {
        const std::string section = ini->SectionNames().front();
        std::string value(text.substr(0, 64));
        ini->WriteQuoted(section, "FuzzKey", value);
        auto again = hv::TIniFile::FromText(ini->Text());
        Check(again->ValueExists(section, "FuzzKey"));
    }

    hv::InstallMessageHandler(previous);
    return 0;
}
