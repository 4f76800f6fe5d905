#include "configurator/ui/naming.h"

#include "configurator/ui/settings_store.h"

#include <QCoreApplication>
#include <QDir>

namespace kl40 {

QString programFolder()
{
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QDir::currentPath();
    return withTrailingSeparator(QDir::toNativeSeparators(dir));
}

int storedIdent1(int raw) { return (raw == 0 || raw == 2 || raw == 3 || raw == 4) ? raw : 1; }
int storedIdent2(int raw) { return (raw == 0 || raw == 1 || raw == 3 || raw == 4) ? raw : 2; }
int storedIdent3(int raw) { return (raw == 0 || raw == 1 || raw == 2 || raw == 4) ? raw : 3; }
int storedIdent4(int raw) { return (raw >= 0 && raw <= 3) ? raw : 4; }

ElementChoice elementOf(int element, int code)
{
    switch (code) {
    case kElementEmpty:
    case kElementPrefix:
    case kElementIdentifier:
    case kElementSuffix:
        return static_cast<ElementChoice>(code);
    default:
        break;
    }
    switch (element) {
    case 1:
        return kElementPrefix;
    case 2:
        return kElementIdentifier;
    default:
        return kElementSuffix;
    }
}

namespace {
const QString kKey = QString::fromLatin1(kNamingKey);
}

NamingSettings loadNamingSettings(SettingsStore& store, const QString& defaultFolder)
{
    NamingSettings s;
    s.listPath = store.readString(kKey, "ListPathSave").value_or(defaultFolder);
    s.listMode = store.readBool(kKey, "ListModeOpenSave").value_or(s.listMode);
    s.maskMode = store.readBool(kKey, "MaskMode").value_or(s.maskMode);
    s.prefix = store.readString(kKey, "MaskPref").value_or(s.prefix);
    s.delim1 = store.readString(kKey, "MaskDelim1").value_or(s.delim1);
    s.delim2 = store.readString(kKey, "MaskDelim2").value_or(s.delim2);
    s.delim3 = store.readString(kKey, "MaskDelim3").value_or(s.delim3);
    s.suffix = store.readString(kKey, "MaskSuff").value_or(s.suffix);
    s.ident1 = storedIdent1(store.readInt(kKey, "MaskIdent1").value_or(1));
    s.ident2 = storedIdent2(store.readInt(kKey, "MaskIdent2").value_or(2));
    s.ident3 = storedIdent3(store.readInt(kKey, "MaskIdent3").value_or(3));
    s.ident4 = storedIdent4(store.readInt(kKey, "MaskIdent4").value_or(4));
    return s;
}

void saveNamingSettings(SettingsStore& store, const NamingSettings& s)
{
    store.writeString(kKey, "ListPathSave", s.listPath);
    store.writeBool(kKey, "ListModeOpenSave", s.listMode);
    store.writeBool(kKey, "MaskMode", s.maskMode);
    store.writeString(kKey, "MaskPref", s.prefix);
    store.writeString(kKey, "MaskDelim1", s.delim1);
    store.writeString(kKey, "MaskDelim2", s.delim2);
    store.writeString(kKey, "MaskDelim3", s.delim3);
    store.writeString(kKey, "MaskSuff", s.suffix);
    store.writeInt(kKey, "MaskIdent1", s.ident1);
    store.writeInt(kKey, "MaskIdent2", s.ident2);
    store.writeInt(kKey, "MaskIdent3", s.ident3);
    store.writeInt(kKey, "MaskIdent4", s.ident4);
}

namespace {

QString elementText(ElementChoice c, const QString& prefix, const QString& identifier,
                    const QString& suffix)
{
    switch (c) {
    case kElementPrefix:
        return prefix;
    case kElementIdentifier:
        return identifier;
    case kElementSuffix:
        return suffix;
    case kElementEmpty:
        break;
    }
    return {};
}

}  // namespace

QString composeFileName(int choice1, const QString& prefix, const QString& delim1, int choice2,
                        const QString& identifier, const QString& delim2, int choice3,
                        const QString& suffix)
{
    QString name;
    QString sep;
    const QString e1 = elementText(elementOf(1, choice1), prefix, identifier, suffix);
    if (!e1.isEmpty()) {
        name = e1;
        sep = delim1;
    }
    const QString e2 = elementText(elementOf(2, choice2), prefix, identifier, suffix);
    if (!e2.isEmpty()) {
        name += sep + e2;
        sep = delim2;
    }
    const QString e3 = elementText(elementOf(3, choice3), prefix, identifier, suffix);
    if (!e3.isEmpty())
        name += sep + e3;
    return name + ".ini";
}

QString proposedFileName(const NamingSettings& s, const QString& identifier)
{
    if (!s.maskMode)
        return QStringLiteral("config.ini");
    return composeFileName(s.ident1, s.prefix, s.delim1, s.ident2, identifier, s.delim2, s.ident3,
                           s.suffix);
}

QString withTrailingSeparator(const QString& folder)
{
    if (folder.endsWith('/') || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QDir::separator();
}

bool isRefusedNameChar(QChar c)
{
    return QStringLiteral("\"*/:<>?\\|").contains(c);
}

}  // namespace kl40
