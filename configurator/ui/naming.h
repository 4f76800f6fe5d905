// Naming and list settings of the configurator (registry key "Software\Varnel\KL40") and the
// composition of the proposed save name.
#pragma once

#include <QString>

namespace kl40 {

class SettingsStore;

// Element choice codes as stored. Other codes fall back per element (see elementOf).
enum ElementChoice : int {
    kElementEmpty = 0,
    kElementPrefix = 1,
    kElementIdentifier = 3,
    kElementSuffix = 4,
};

struct NamingSettings {
    QString listPath;           // "ListPathSave": the list folder
    bool listMode = false;      // "ListModeOpenSave": true = list mode
    bool maskMode = true;       // "MaskMode": compose the proposed save name by the mask
    QString prefix = "KL40";    // "MaskPref"
    QString delim1 = "_";       // "MaskDelim1"
    QString delim2 = "_";       // "MaskDelim2"
    QString delim3 = "_";       // "MaskDelim3": kept and written back only
    QString suffix;             // "MaskSuff"
    int ident1 = 1;             // "MaskIdent1".."MaskIdent4": element codes as stored
    int ident2 = 2;
    int ident3 = 3;
    int ident4 = 4;
};

// The program's folder with a trailing separator (the default list folder).
QString programFolder();

// Stored-code mappings applied when the values are read.
int storedIdent1(int raw);  // 0, 2, 3, 4 kept, anything else 1
int storedIdent2(int raw);  // 0, 1, 3, 4 kept, anything else 2
int storedIdent3(int raw);  // 0, 1, 2, 4 kept, anything else 3
int storedIdent4(int raw);  // 0..3 kept, anything else 4

// What an element code means for element 1, 2 or 3: one of the four ElementChoice values.
// Element 1 takes unknown codes as the prefix, element 2 as the identifier, element 3 as the suffix.
ElementChoice elementOf(int element, int code);

// Reads the settings; missing values and values of the wrong kind take their defaults, the list
// folder defaulting to `defaultFolder`.
NamingSettings loadNamingSettings(SettingsStore& store, const QString& defaultFolder);
void saveNamingSettings(SettingsStore& store, const NamingSettings& s);

// The proposed save name: up to three elements joined by the two separators, then ".ini".
// An empty element is left out together with the separator that would follow it.
QString composeFileName(int choice1, const QString& prefix, const QString& delim1, int choice2,
                        const QString& identifier, const QString& delim2, int choice3,
                        const QString& suffix);
// The same with the stored settings; "config.ini" when naming by mask is off.
QString proposedFileName(const NamingSettings& s, const QString& identifier);

// A list folder as taken from the settings dialog: a path separator added at its end if missing.
QString withTrailingSeparator(const QString& folder);

// Characters refused in the prefix, suffix and separator fields.
bool isRefusedNameChar(QChar c);

}  // namespace kl40
