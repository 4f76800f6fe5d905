// Naming and library settings: defaults, stored-code mappings, kinds, name composition and the
// settings dialog's take-over rules.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "configurator/ui/library_settings.h"
#include "configurator/ui/naming.h"
#include "configurator/ui/settings_store.h"
#include "tests/ui/fakes.h"

namespace kl40 {
namespace {

const QString kNaming = QString::fromLatin1(kNamingKey);
const QString kLibrary = QString::fromLatin1(kLibraryKey);

TEST(NameComposition, ElementsAndSeparators)
{
    struct Case {
        int c1;
        QString prefix, d1;
        int c2;
        QString ident, d2;
        int c3;
        QString suffix, expected;
    } cases[] = {
        // The defaults 1, 2, 3 mean prefix, identifier, identifier.
        {1, "KL40", "_", 2, "0123456789AB", "_", 3, "", "KL40_0123456789AB_0123456789AB.ini"},
        // No leading separator when element 1 is empty.
        {0, "KL40", "_", 3, "0123456789AB", "_", 4, "A1", "0123456789AB_A1.ini"},
        {0, "KL40", "_", 0, "0123456789AB", "_", 0, "A1", ".ini"},
        // Element 2 empty: element 3 follows separator 1.
        {1, "P", "-", 0, "0123456789AB", "+", 4, "S", "P-S.ini"},
        // An element whose text is empty is left out with its separator.
        {1, "", "-", 3, "ID", "+", 4, "S", "ID+S.ini"},
        {4, "P", "-", 1, "ID", "+", 3, "S", "S-P+ID.ini"},
        {4, "P", "-", 1, "ID", "+", 3, "", "P+ID.ini"},
        // Unknown codes: element 1 prefix, element 2 identifier, element 3 suffix.
        {7, "P", "-", 9, "ID", "+", -1, "S", "P-ID+S.ini"},
        {3, "P", "", 3, "ID", "", 3, "", "IDIDID.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(composeFileName(c.c1, c.prefix, c.d1, c.c2, c.ident, c.d2, c.c3, c.suffix), c.expected)
            << c.expected.toStdString();
    }
    NamingSettings s;
    EXPECT_EQ(proposedFileName(s, "0123456789AB"), "KL40_0123456789AB_0123456789AB.ini");
    s.maskMode = false;
    EXPECT_EQ(proposedFileName(s, "0123456789AB"), "config.ini");
}

TEST(NamingSettings, StoredCodesAreMappedWhenRead)
{
    struct Case {
        int raw, ident1, ident2, ident3, ident4;
    } cases[] = {
        {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}, {2, 2, 2, 2, 2}, {3, 3, 3, 3, 3},
        {4, 4, 4, 4, 4}, {5, 1, 2, 3, 4}, {-1, 1, 2, 3, 4}, {1000, 1, 2, 3, 4},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store;
        for (const char* n : {"MaskIdent1", "MaskIdent2", "MaskIdent3", "MaskIdent4"})
            store.writeInt(kNaming, n, c.raw);
        const NamingSettings s = loadNamingSettings(store, "/prog/");
        EXPECT_EQ(s.ident1, c.ident1) << c.raw;
        EXPECT_EQ(s.ident2, c.ident2) << c.raw;
        EXPECT_EQ(s.ident3, c.ident3) << c.raw;
        EXPECT_EQ(s.ident4, c.ident4) << c.raw;
    }
    // What the dialog then selects: "MaskIdent2" = 3 is the identifier, "MaskIdent3" = 2 the
    // suffix, "MaskIdent1" = 2 the prefix.
    EXPECT_EQ(elementOf(2, storedIdent2(3)), kElementIdentifier);
    EXPECT_EQ(elementOf(3, storedIdent3(2)), kElementSuffix);
    EXPECT_EQ(elementOf(1, storedIdent1(2)), kElementPrefix);
    EXPECT_EQ(elementOf(3, storedIdent3(1)), kElementPrefix);
}

TEST(NamingSettings, MissingAndWrongKindTakeDefaultsAndSaveKeepsKinds)
{
    MemorySettingsStore store;
    store.setRaw(kNaming, "MaskMode", QString("yes"));       // a string where a DWORD belongs
    store.setRaw(kNaming, "MaskPref", 17);                    // a DWORD where a string belongs
    store.setRaw(kNaming, "ListModeOpenSave", 5);             // any non-zero is true
    store.setRaw(kNaming, "MaskIdent2", QString("4"));
    NamingSettings s = loadNamingSettings(store, "/prog/");
    EXPECT_EQ(s.listPath, "/prog/");
    EXPECT_TRUE(s.listMode);
    EXPECT_TRUE(s.maskMode);
    EXPECT_EQ(s.prefix, "KL40");
    EXPECT_EQ(s.delim1, "_");
    EXPECT_EQ(s.delim2, "_");
    EXPECT_EQ(s.delim3, "_");
    EXPECT_EQ(s.suffix, "");
    EXPECT_EQ(s.ident2, 2);

    s.listMode = false;
    s.prefix = "P";
    s.suffix = "";
    s.delim3 = "~";
    s.ident3 = 0;
    saveNamingSettings(store, s);
    EXPECT_EQ(store.raw(kNaming, "ListModeOpenSave"), QVariant(0));
    EXPECT_EQ(store.raw(kNaming, "MaskMode"), QVariant(1));
    EXPECT_EQ(store.raw(kNaming, "MaskPref"), QVariant(QString("P")));
    EXPECT_EQ(store.raw(kNaming, "MaskSuff"), QVariant(QString("")));
    EXPECT_EQ(store.raw(kNaming, "MaskIdent3"), QVariant(0));
    const NamingSettings back = loadNamingSettings(store, "/other/");
    EXPECT_EQ(back.listPath, "/prog/");
    EXPECT_EQ(back.delim3, "~");
    EXPECT_EQ(back.ident3, 0);
    EXPECT_FALSE(back.listMode);
}

TEST(SettingsStore, IniFilesKeepKindsPerKey)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QtSettingsStore store(dir.path());
        store.writeInt(kLibrary, "Open_GPRS", 45000);
        store.writeString(kLibrary, "Port_N1", "10002");
        store.writeBool(kNaming, "MaskMode", false);
        store.writeString(kNaming, "MaskPref", "A,B;C \"x\"");
        store.writeString(kNaming, "MaskSuff", "");
        ASSERT_TRUE(store.flush());
        EXPECT_TRUE(store.location(kNaming).endsWith("/KL40.ini"));
        EXPECT_TRUE(store.location(kLibrary).endsWith("/DLL_TelVOR.ini"));
    }
    QtSettingsStore store(dir.path());
    EXPECT_EQ(store.readInt(kLibrary, "Open_GPRS"), 45000);
    EXPECT_EQ(store.readString(kLibrary, "Port_N1"), QString("10002"));
    EXPECT_EQ(store.readBool(kNaming, "MaskMode"), false);
    EXPECT_EQ(store.readString(kNaming, "MaskPref"), QString("A,B;C \"x\""));
    EXPECT_EQ(store.readString(kNaming, "MaskSuff"), QString(""));
    // The keys are separate files: a value of one key is not seen in the other.
    EXPECT_FALSE(store.readInt(kNaming, "Open_GPRS").has_value());
    // A text that is no number is no integer.
    EXPECT_FALSE(store.readInt(kNaming, "MaskPref").has_value());
    EXPECT_FALSE(store.readInt(kLibrary, "Missing").has_value());
}

TEST(LibrarySettings, DefaultsOverridesAndPortList)
{
    MemorySettingsStore store;
    LibrarySettings s = loadLibrarySettings(store);
    EXPECT_EQ(s, LibrarySettings{});
    EXPECT_EQ(s.ports, QStringList{"10001"});

    store.writeInt(kLibrary, "Open_GPRS", 1000);
    store.setRaw(kLibrary, "ToSendDG2_GPRS", QString("12"));  // wrong kind: default stays
    store.writeInt(kLibrary, "CountNoGoodTimeTag_GPRS", 9);
    store.writeInt(kLibrary, "PortsCount", 3);
    store.writeString(kLibrary, "Port_N1", "10005");
    store.writeString(kLibrary, "Port_N3", "10007");          // Port_N2 missing: skipped
    s = loadLibrarySettings(store);
    EXPECT_EQ(s.openGprs, 1000);
    EXPECT_EQ(s.toSendDG2Gprs, 30000);
    EXPECT_EQ(s.countNoGoodTimeTagGprs, 9);
    EXPECT_EQ(s.ports, (QStringList{"10005", "10007"}));

    s.ports = {"1", "2"};
    s.toWaitSendDAfterIn = 450;
    saveLibrarySettings(store, s);
    EXPECT_EQ(store.raw(kLibrary, "PortsCount"), QVariant(2));
    EXPECT_EQ(store.raw(kLibrary, "Port_N2"), QVariant(QString("2")));
    EXPECT_EQ(store.raw(kLibrary, "ToWaitSendDAfterIn"), QVariant(450));
    EXPECT_EQ(store.raw(kLibrary, "ToSendDG2_GPRS"), QVariant(30000));
    EXPECT_EQ(loadLibrarySettings(store), s);

    // An empty list is stored as zero ports and read back as the single port 10001.
    s.ports.clear();
    saveLibrarySettings(store, s);
    EXPECT_EQ(store.raw(kLibrary, "PortsCount"), QVariant(0));
    EXPECT_EQ(loadLibrarySettings(store).ports, QStringList{"10001"});
}

TEST(LibrarySettings, DialogShowsSecondsAndTakesValuesBack)
{
    LibrarySettings s;
    EXPECT_EQ(libraryFieldText(s, LibraryField::OpenGprs), "30");
    EXPECT_EQ(libraryFieldText(s, LibraryField::ToRetrySendDG2), "10");
    EXPECT_EQ(libraryFieldText(s, LibraryField::ToWaitKvitCmd), "10");
    EXPECT_EQ(libraryFieldText(s, LibraryField::ToWaitSendDAfterIn), "300");
    EXPECT_EQ(libraryFieldText(s, LibraryField::CountRetrySendDG2), "10");

    struct Case {
        LibraryField field;
        QString text;
        std::int32_t LibrarySettings::*member;
        std::int32_t expected;
    } cases[] = {
        {LibraryField::OpenGprs, "45", &LibrarySettings::openGprs, 45000},
        {LibraryField::ToSendDG2, "", &LibrarySettings::toSendDG2Gprs, 30000},   // empty leaves it
        {LibraryField::ToRetrySendDG2, "0", &LibrarySettings::toRetrySendDG2Gprs, 0},
        {LibraryField::ToWaitKvitCmd, "3000000", &LibrarySettings::toWaitKvitCmdGprs, 10000},  // overflow
        {LibraryField::ToWaitSendDAfterIn, "250", &LibrarySettings::toWaitSendDAfterIn, 250},
        {LibraryField::CountRetrySendDG2, "7", &LibrarySettings::countRetrySendDG2Gprs, 7},
        {LibraryField::CountRetryRecive, "", &LibrarySettings::countRetryReciveGprs, 5},
        {LibraryField::CountNoGoodTimeTag, "12", &LibrarySettings::countNoGoodTimeTagGprs, 12},
    };
    for (const Case& c : cases) {
        LibrarySettings t;
        takeLibraryField(t, c.field, c.text);
        EXPECT_EQ(t.*c.member, c.expected) << c.text.toStdString();
    }

    EXPECT_EQ(portListText({"10001", "10002"}), "10001,10002");
    struct PortCase {
        QString text;
        QStringList expected;
    } ports[] = {
        {"10001", {"10001"}},
        {" 10001,10002 ", {"10001", "10002"}},
        {"10001,", {"10001"}},
        {"10001,,10003", {"10001", "", "10003"}},
        {"", {}},
    };
    for (const PortCase& p : ports)
        EXPECT_EQ(portListFromText(p.text), p.expected) << p.text.toStdString();
}

TEST(NamingSettings, FolderSeparatorAndRefusedCharacters)
{
    EXPECT_EQ(withTrailingSeparator("/data/cfg"), "/data/cfg/");
    EXPECT_EQ(withTrailingSeparator("/data/cfg/"), "/data/cfg/");
    for (QChar c : QStringLiteral("\"*/:<>?\\|"))
        EXPECT_TRUE(isRefusedNameChar(c)) << int(c.unicode());
    for (QChar c : QStringLiteral("aZ09_-.~ Ж\t"))
        EXPECT_FALSE(isRefusedNameChar(c)) << int(c.unicode());
}

}  // namespace
}  // namespace kl40
