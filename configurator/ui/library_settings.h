// Settings of the communication library as the configurator keeps them (registry key
// "Software\Varnel\DLL_TelVOR"), and the rules by which the settings dialog shows and takes them.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kl40 {

class SettingsStore;

struct LibrarySettings {
    std::int32_t openGprs = 30000;              // "Open_GPRS", ms
    std::int32_t toSendDG2Gprs = 30000;         // "ToSendDG2_GPRS", ms
    std::int32_t toRetrySendDG2Gprs = 10000;    // "ToRetrySendDG2_GPRS", ms
    std::int32_t countRetrySendDG2Gprs = 10;    // "CountRetrySendDG2_GPRS"
    std::int32_t toWaitKvitCmdGprs = 10000;     // "ToWaitKvitCmd_GPRS", ms
    std::int32_t toWaitSendDAfterIn = 300;      // "ToWaitSendDAfterIn", ms
    std::int32_t countRetryReciveGprs = 5;      // "CountRetryRecive_GPRS"
    std::int32_t countNoGoodTimeTagGprs = 5;    // "CountNoGoodTimeTag_GPRS"
    QStringList ports{QStringLiteral("10001")};  // "PortsCount", "Port_N1".. : local UDP ports

    bool operator==(const LibrarySettings&) const = default;
};

// Defaults overridden value by value from the store; an empty port list becomes "10001".
LibrarySettings loadLibrarySettings(SettingsStore& store);
void saveLibrarySettings(SettingsStore& store, const LibrarySettings& s);

// The eight values in the order of the settings dialog's page "Связь с прибором".
enum class LibraryField {
    OpenGprs,
    ToSendDG2,
    ToRetrySendDG2,
    CountRetrySendDG2,
    ToWaitKvitCmd,
    ToWaitSendDAfterIn,
    CountRetryRecive,
    CountNoGoodTimeTag,
};
inline constexpr int kLibraryFieldCount = 8;

// True for the four values the dialog shows in whole seconds.
bool isSecondsField(LibraryField f);
// The field text the dialog shows (seconds = value / 1000).
QString libraryFieldText(const LibrarySettings& s, LibraryField f);
// Takes a field text back: an empty text leaves the value; a seconds text becomes value × 1000.
// A text that is not a number, or a value that does not fit 32 bits, also leaves the value.
void takeLibraryField(LibrarySettings& s, LibraryField f, const QString& text);

// The port list as the dialog shows it: the ports joined by ",".
QString portListText(const QStringList& ports);
// The port text taken back: trimmed, split at every ","; a final empty piece is dropped.
QStringList portListFromText(const QString& text);

}  // namespace kl40
