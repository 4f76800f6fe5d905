#include "configurator/ui/library_settings.h"

#include "configurator/ui/settings_store.h"

#include <limits>

namespace kl40 {

namespace {

const QString kKey = QString::fromLatin1(kLibraryKey);

struct FieldInfo {
    const char* name;
    std::int32_t LibrarySettings::*member;
    bool seconds;
};

const FieldInfo kFields[kLibraryFieldCount] = {
    {"Open_GPRS", &LibrarySettings::openGprs, true},
    {"ToSendDG2_GPRS", &LibrarySettings::toSendDG2Gprs, true},
    {"ToRetrySendDG2_GPRS", &LibrarySettings::toRetrySendDG2Gprs, true},
    {"CountRetrySendDG2_GPRS", &LibrarySettings::countRetrySendDG2Gprs, false},
    {"ToWaitKvitCmd_GPRS", &LibrarySettings::toWaitKvitCmdGprs, true},
    {"ToWaitSendDAfterIn", &LibrarySettings::toWaitSendDAfterIn, false},
    {"CountRetryRecive_GPRS", &LibrarySettings::countRetryReciveGprs, false},
    {"CountNoGoodTimeTag_GPRS", &LibrarySettings::countNoGoodTimeTagGprs, false},
};

const FieldInfo& info(LibraryField f) { return kFields[static_cast<int>(f)]; }

}  // namespace

LibrarySettings loadLibrarySettings(SettingsStore& store)
{
    LibrarySettings s;
    for (const FieldInfo& f : kFields) {
        if (auto v = store.readInt(kKey, QString::fromLatin1(f.name)))
            s.*f.member = *v;
    }
    QStringList ports;
    const std::int32_t count = store.readInt(kKey, "PortsCount").value_or(0);
    for (std::int32_t i = 1; i <= count; ++i) {
        if (auto p = store.readString(kKey, QStringLiteral("Port_N%1").arg(i)))
            ports << *p;
    }
    if (ports.isEmpty())
        ports << QStringLiteral("10001");
    s.ports = ports;
    return s;
}

void saveLibrarySettings(SettingsStore& store, const LibrarySettings& s)
{
    for (const FieldInfo& f : kFields)
        store.writeInt(kKey, QString::fromLatin1(f.name), s.*f.member);
    store.writeInt(kKey, "PortsCount", static_cast<std::int32_t>(s.ports.size()));
    for (int i = 0; i < s.ports.size(); ++i)
        store.writeString(kKey, QStringLiteral("Port_N%1").arg(i + 1), s.ports[i]);
}

bool isSecondsField(LibraryField f) { return info(f).seconds; }

QString libraryFieldText(const LibrarySettings& s, LibraryField f)
{
    const std::int32_t v = s.*info(f).member;
    return QString::number(info(f).seconds ? v / 1000 : v);
}

void takeLibraryField(LibrarySettings& s, LibraryField f, const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return;
    bool ok = false;
    qlonglong v = t.toLongLong(&ok);
    if (!ok || v < 0)
        return;
    if (info(f).seconds)
        v *= 1000;
    if (v > std::numeric_limits<std::int32_t>::max())
        return;
    s.*info(f).member = static_cast<std::int32_t>(v);
}

QString portListText(const QStringList& ports) { return ports.join(','); }

QStringList portListFromText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    QStringList lines = t.split(',');
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

}  // namespace kl40
