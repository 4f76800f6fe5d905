// The configuration sheet drawn on a recording canvas.
#include <gtest/gtest.h>

#include "configurator/ui/print_layout.h"
#include "tests/ui/fakes.h"

namespace kl40 {
namespace {

using test::RecordingCanvas;
using Call = RecordingCanvas::Call;

PrintSheet sampleSheet()
{
    PrintSheet s;
    s.identifier = "0123-4567-89AB";
    s.address[1] = "192.168.000.010";
    s.address[2] = "192.168.000.001";
    s.address[3] = "255.255.255.000";
    s.address[4] = "010.000.000.001";
    s.address[5] = "010.000.000.002";
    s.address[6] = "000.000.000.000";
    s.port[1] = 10001;
    s.port[2] = 0;
    s.port[3] = 0;
    s.port[4] = 80;
    s.port[5] = 10002;
    s.port[6] = 0;
    s.keyPart[0] = "0123456789ABCDEF";
    s.keyPart[1] = "3C5A3C5A3C5A3C5A";
    s.keyPart[2] = "";
    s.keyPart[3] = "FFFFFFFFFFFFFFFF";
    s.duty1 = 15;
    s.duty2 = 30;
    s.answerWait = 5;
    s.noAnswer = 2;
    s.date = "10.12.2026";
    return s;
}

// At 250 dots per inch one unit is one dot; 10-dot characters and 20-dot lines make Cw = 10
// and L = 20 units, so every position below follows from the layout rules by hand.
TEST(PrintLayout, EveryCallAtItsPlace)
{
    RecordingCanvas c;
    c.ox = 7;
    c.oy = 11;
    drawSheet(c, sampleSheet());
    const int ox = 7, oy = 11;
    const QString sign = QStringLiteral("Подпись:           /                    /");
    const QString heading = QStringLiteral("          IP-адрес        порт ");
    ASSERT_EQ(heading.size(), 31);
    const int wt = 310;

    std::vector<Call> expected;
    auto T = [&](int x, int y, const QString& t, PrintStyle s = PrintStyle::Regular) {
        expected.push_back({Call::Text, x + ox, y + oy, 0, 0, t, s});
    };
    auto Ln = [&](int x1, int y1, int x2, int y2) {
        expected.push_back({Call::Line, x1 + ox, y1 + oy, x2 + ox, y2 + oy, {}, PrintStyle::Regular});
    };
    auto St = [&](int x1, int y1, int x2, int y2) {
        expected.push_back({Call::Stripe, x1 + ox, y1 + oy, x2 + ox, y2 + oy, {}, PrintStyle::Regular});
    };
    auto Fr = [&](int x1, int y1, int x2, int y2) {
        expected.push_back({Call::Frame, x1 + ox, y1 + oy, x2 + ox, y2 + oy, {}, PrintStyle::Regular});
    };
    T(60, 80, QStringLiteral("Конфигурация устройства:(\"0123-4567-89AB)"), PrintStyle::BoldUnderline);
    auto table = [&](int top, const QString& title, const QString (&labels)[3], const QString (&addr)[3],
                     const QString (&ports)[3]) {
        T(60, top + 20, title, PrintStyle::Bold);
        T(63, top + 40, heading, PrintStyle::Bold);
        St(60, top + 40, 60 + wt, top + 60);
        St(60, top + 80, 60 + wt, top + 100);
        for (int k = 0; k < 3; ++k) {
            const int r = top + 40 + 20 * k;
            Ln(60, r, 60 + wt - 2, r);
            T(63, r + 20, labels[k]);
            T(160, r + 20, addr[k]);
            if (!ports[k].isEmpty())
                T(320, r + 20, ports[k]);
        }
        Fr(60, top + 20, 60 + wt, top + 100);
        Ln(155, top + 20, 155, top + 99);
        Ln(315, top + 20, 315, top + 99);
    };
    table(90, QStringLiteral("Сетевые параметры:"),
          {QStringLiteral("IP-адрес"), QStringLiteral("Маска"), QStringLiteral("Шлюз ")},
          {"192.168.000.010", "255.255.255.000", "192.168.000.001"}, {"10001", "", ""});
    table(210, QStringLiteral("Серверы приема сообщений:"),
          {QStringLiteral("Сервер №1"), QStringLiteral("Сервер №2"), QStringLiteral("Сервер №3")},
          {"010.000.000.001", "010.000.000.002", "000.000.000.000"}, {"80", "10002", ""});
    T(60, 350, QStringLiteral("Параметры MX3:"), PrintStyle::Bold);
    T(60, 370, QStringLiteral("Идентификатор :"));
    T(210, 370, "0123-4567-89AB", PrintStyle::Bold);
    T(60, 390, QStringLiteral("Ключ шифрации :"));
    St(210, 370, 440, 390);
    St(210, 410, 440, 430);
    T(210, 390, "01-23-45-67-89-AB-CD-EF", PrintStyle::Bold);
    T(210, 410, "3C-5A-3C-5A-3C-5A-3C-5A", PrintStyle::Bold);
    T(210, 430, "00-00-00-00-00-00-00-00", PrintStyle::Bold);
    T(210, 450, "FF-FF-FF-FF-FF-FF-FF-FF", PrintStyle::Bold);
    T(60, 490, QStringLiteral("Параметры сеансов связи:"), PrintStyle::BoldUnderline);
    T(60, 510, QStringLiteral("Период сообщ. \"деж.реж.\"тип 1:      "));
    T(370, 510, QStringLiteral("15 сек."));
    T(60, 530, QStringLiteral("Период сообщ. \"деж.реж.\"тип 2:"));
    T(370, 530, QStringLiteral("30 сек."));
    T(60, 550, QStringLiteral("Время ожидания ответа        :"));
    T(370, 550, QStringLiteral("5 сек."));
    T(60, 570, QStringLiteral("Макс.число неотв. на сообщ.  :"));
    T(370, 570, "2");
    T(60, 630, QStringLiteral("Дата печати:10.12.2026"));
    T(2000 - 10 * sign.size() - 150, 630, sign);

    ASSERT_EQ(c.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Call& a = c.calls[static_cast<int>(i)];
        const Call& e = expected[i];
        EXPECT_EQ(a.kind, e.kind) << i;
        EXPECT_EQ(a.text.toStdString(), e.text.toStdString()) << i;
        EXPECT_EQ(a.x1, e.x1) << i << " " << e.text.toStdString();
        EXPECT_EQ(a.y1, e.y1) << i << " " << e.text.toStdString();
        EXPECT_EQ(a.x2, e.x2) << i;
        EXPECT_EQ(a.y2, e.y2) << i;
        EXPECT_EQ(a.style, e.style) << i << " " << e.text.toStdString();
    }
}

// Units become dots through each direction's own resolution, rounded, plus the origin.
TEST(PrintLayout, UnitsFollowEachResolution)
{
    RecordingCanvas c;
    c.dx = 600;    // 2.4 dots per unit
    c.dy = 1200;   // 4.8 dots per unit
    c.charWidth = 24;   // Cw = 10 units
    c.lineHeight = 96;  // L = 20 units
    c.width = 4800;     // W = 2000 units
    c.ox = 50;
    c.oy = 60;
    drawSheet(c, sampleSheet());
    const Call* head = c.findText(QStringLiteral("Конфигурация устройства:(\"0123-4567-89AB)"));
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->x1, 144 + 50);   // 60 units
    EXPECT_EQ(head->y1, 384 + 60);   // 80 units
    const Call* label = c.findText(QStringLiteral("IP-адрес"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->x1, 151 + 50);  // 63 units = 151.2 dots
    EXPECT_EQ(label->y1, 720 + 60);  // 150 units
    const QString sign = QStringLiteral("Подпись:           /                    /");
    const Call* s = c.findText(sign);
    ASSERT_NE(s, nullptr);
    // Ends 15 mm (150 units) from the page's right edge.
    const int units = 2000 - 10 * sign.size() - 150;
    EXPECT_EQ(s->x1, qRound(units * 2.4) + 50);
}

TEST(PrintLayout, PortsIdentifierAndKeyPartsByTheirRules)
{
    struct Case {
        const char* name;
        std::function<void(PrintSheet&)> change;
        QStringList present;
        QStringList absent;
    } cases[] = {
        {"ports 0 are not printed",
         [](PrintSheet& s) { s.port[1] = 0; s.port[4] = 0; s.port[5] = 0; },
         {},
         {"10001", "80", "10002", "0"}},
        {"gateway and mask ports are never printed",
         [](PrintSheet& s) { s.port[1] = 0; s.port[2] = 1234; s.port[3] = 5678; },
         {},
         {"1234", "5678"}},
        {"empty identifier",
         [](PrintSheet& s) { s.identifier.clear(); },
         {QStringLiteral("Конфигурация устройства:(\"0000-0000-0000)"), "0000-0000-0000"},
         {}},
        {"short identifier padded",
         [](PrintSheet& s) { s.identifier = "12"; },
         {QStringLiteral("Конфигурация устройства:(\"1200-0000-0000)"), "1200-0000-0000"},
         {}},
        {"empty key parts",
         [](PrintSheet& s) { for (QString& k : s.keyPart) k.clear(); },
         {"00-00-00-00-00-00-00-00"},
         {"01-23-45-67-89-AB-CD-EF"}},
    };
    for (const Case& k : cases) {
        PrintSheet s = sampleSheet();
        k.change(s);
        RecordingCanvas c;
        drawSheet(c, s);
        const QStringList texts = c.texts();
        for (const QString& p : k.present)
            EXPECT_TRUE(texts.contains(p)) << k.name << ": " << p.toStdString();
        for (const QString& a : k.absent)
            EXPECT_FALSE(texts.contains(a)) << k.name << ": " << a.toStdString();
    }
    EXPECT_EQ(sheetKeyPart(""), "00-00-00-00-00-00-00-00");
    EXPECT_EQ(sheetKeyPart("3C5A3C5A3C5A3C5A"), "3C-5A-3C-5A-3C-5A-3C-5A");
    EXPECT_EQ(sheetIdentifier("0123-4567-89ab"), "0123-4567-89ab");
}

}  // namespace
}  // namespace kl40
