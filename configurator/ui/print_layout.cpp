#include "configurator/ui/print_layout.h"

#include <cmath>

namespace kl40 {

namespace {

bool isHex(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

QString groups(const QString& digits, int group)
{
    QString out;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && i % group == 0)
            out += '-';
        out += digits[i];
    }
    return out;
}

int roundHalfAway(double v) { return static_cast<int>(std::lround(v)); }

// Unit conversion of one printout.
class Page {
public:
    explicit Page(PrintCanvas& c) : c_(c)
    {
        dpiX_ = c.dpiX() > 0 ? c.dpiX() : 1;
        dpiY_ = c.dpiY() > 0 ? c.dpiY() : 1;
        ox_ = c.offsetX();
        oy_ = c.offsetY();
        L = roundHalfAway(c.textHeight(QStringLiteral("Рр"), PrintStyle::Regular) * 10.0 / (dpiY_ * 0.04));
        Cw = roundHalfAway(c.textWidth(QStringLiteral("0"), PrintStyle::Regular) * 10.0 / (dpiX_ * 0.04));
        W = roundHalfAway(c.pageWidth() * 10.0 / (dpiX_ * 0.04));
    }

    int dx(int units) const { return roundHalfAway(units * dpiX_ * 0.04 / 10.0) + ox_; }
    int dy(int units) const { return roundHalfAway(units * dpiY_ * 0.04 / 10.0) + oy_; }
    int widthUnits(const QString& t, PrintStyle s) const
    {
        return roundHalfAway(c_.textWidth(t, s) * 10.0 / (dpiX_ * 0.04));
    }

    void text(int x, int y, const QString& t, PrintStyle s = PrintStyle::Regular)
    {
        c_.text(dx(x), dy(y), t, s);
    }
    void line(int x1, int y1, int x2, int y2) { c_.line(dx(x1), dy(y1), dx(x2), dy(y2)); }
    void stripe(int x1, int y1, int x2, int y2) { c_.stripe(dx(x1), dy(y1), dx(x2), dy(y2)); }
    void frame(int x1, int y1, int x2, int y2) { c_.frame(dx(x1), dy(y1), dx(x2), dy(y2)); }

    int L = 0;
    int Cw = 0;
    int W = 0;

private:
    PrintCanvas& c_;
    int dpiX_ = 1;
    int dpiY_ = 1;
    int ox_ = 0;
    int oy_ = 0;
};

const QString kColumnHeading = QStringLiteral("          IP-адрес        порт ");

struct Row {
    QString label;
    QString address;
    int port;
    bool hasPort;
};

// A framed table of three address rows, `top` being the block's top.
void drawTable(Page& p, int x, int top, const QString& title, const Row (&rows)[3])
{
    const int L = p.L;
    const int Cw = p.Cw;
    p.text(x, top + L, title, PrintStyle::Bold);
    p.text(x + roundHalfAway(Cw / 4.0), top + 2 * L, kColumnHeading, PrintStyle::Bold);
    const int Wt = p.widthUnits(kColumnHeading, PrintStyle::Bold);
    p.stripe(x, top + 2 * L, x + Wt, top + 3 * L);
    p.stripe(x, top + 4 * L, x + Wt, top + 5 * L);
    for (int k = 0; k < 3; ++k) {
        const int r = top + (k + 2) * L;
        p.line(x, r, x + Wt - 2, r);
        p.text(x + roundHalfAway(Cw / 4.0), r + L, rows[k].label);
        p.text(x + 10 * Cw, r + L, rows[k].address);
        if (rows[k].hasPort && rows[k].port != 0)
            p.text(x + 26 * Cw, r + L, QString::number(rows[k].port));
    }
    p.frame(x, top + L, x + Wt, top + 5 * L);
    const int c1 = x + roundHalfAway(9.5 * Cw);
    const int c2 = x + roundHalfAway(25.5 * Cw);
    p.line(c1, top + L, c1, top + 5 * L - 1);
    p.line(c2, top + L, c2, top + 5 * L - 1);
}

QString dutyLabel(int type, const QString& tail)
{
    return QStringLiteral("Период сообщ. ") + '"' + QStringLiteral("деж.реж.") + '"' +
           QStringLiteral("тип %1:").arg(type) + tail;
}

}  // namespace

QString sheetIdentifier(const QString& identifier)
{
    QString digits;
    for (QChar c : identifier) {
        if (isHex(c))
            digits += c;
    }
    while (digits.size() < 12)
        digits += '0';
    return groups(digits.left(12), 4);
}

QString sheetKeyPart(const QString& part)
{
    QString digits = part.isEmpty() ? QStringLiteral("0000000000000000") : part;
    while (digits.size() < 16)
        digits += '0';
    return groups(digits.left(16), 2);
}

void drawSheet(PrintCanvas& canvas, const PrintSheet& s)
{
    Page p(canvas);
    const int L = p.L;
    const int Cw = p.Cw;
    const int x = 6 * Cw;
    const QString ident = sheetIdentifier(s.identifier);

    const int y0 = 4 * L;
    p.text(x, y0, QStringLiteral("Конфигурация устройства:(") + '"' + ident + ')',
           PrintStyle::BoldUnderline);

    const int y1 = y0 + roundHalfAway(L / 2.0);
    const Row net[3] = {
        {QStringLiteral("IP-адрес"), s.address[1], s.port[1], true},
        {QStringLiteral("Маска"), s.address[3], 0, false},
        {QStringLiteral("Шлюз "), s.address[2], 0, false},
    };
    drawTable(p, x, y1, QStringLiteral("Сетевые параметры:"), net);

    const int y2 = y1 + 6 * L;
    const Row servers[3] = {
        {QStringLiteral("Сервер №1"), s.address[4], s.port[4], true},
        {QStringLiteral("Сервер №2"), s.address[5], s.port[5], true},
        {QStringLiteral("Сервер №3"), s.address[6], s.port[6], true},
    };
    drawTable(p, x, y2, QStringLiteral("Серверы приема сообщений:"), servers);

    const int y3 = y2 + 6 * L;
    p.text(x, y3 + L, QStringLiteral("Параметры MX3:"), PrintStyle::Bold);
    const QString identLabel = QStringLiteral("Идентификатор :");
    p.text(x, y3 + 2 * L, identLabel);
    p.text(x + p.widthUnits(identLabel, PrintStyle::Regular), y3 + 2 * L, ident, PrintStyle::Bold);

    const int y4 = y3 + 2 * L;
    const QString keyLabel = QStringLiteral("Ключ шифрации :");
    p.text(x, y4 + L, keyLabel);
    const int kx = x + p.widthUnits(keyLabel, PrintStyle::Regular);
    const int stripeWidth = p.widthUnits(QStringLiteral("  -  -  -  -  -  -  -  "), PrintStyle::Bold);
    p.stripe(kx, y4, kx + stripeWidth, y4 + L);
    p.stripe(kx, y4 + 2 * L, kx + stripeWidth, y4 + 3 * L);
    for (int i = 0; i < 4; ++i)
        p.text(kx, y4 + (i + 1) * L, sheetKeyPart(s.keyPart[i]), PrintStyle::Bold);

    const int y5 = y4 + 5 * L;
    p.text(x, y5 + L, QStringLiteral("Параметры сеансов связи:"), PrintStyle::BoldUnderline);
    const int vx = x + 31 * Cw;
    const QString sec = QStringLiteral(" сек.");
    p.text(x, y5 + 2 * L, dutyLabel(1, QStringLiteral("      ")));
    p.text(vx, y5 + 2 * L, QString::number(s.duty1) + sec);
    p.text(x, y5 + 3 * L, dutyLabel(2, QString()));
    p.text(vx, y5 + 3 * L, QString::number(s.duty2) + sec);
    p.text(x, y5 + 4 * L, QStringLiteral("Время ожидания ответа        :"));
    p.text(vx, y5 + 4 * L, QString::number(s.answerWait) + sec);
    p.text(x, y5 + 5 * L, QStringLiteral("Макс.число неотв. на сообщ.  :"));
    p.text(vx, y5 + 5 * L, QString::number(s.noAnswer));

    const int y6 = y5 + 8 * L;
    p.text(x, y6, QStringLiteral("Дата печати:") + s.date);
    const QString sign = QStringLiteral("Подпись:           /                    /");
    p.text(p.W - p.widthUnits(sign, PrintStyle::Regular) - 150, y6, sign);
}

}  // namespace kl40
