// The configuration sheet: its layout drawn on a small canvas interface.
//
// Positions are computed in layout units (a tenth of a millimetre, a millimetre taken as
// dots-per-inch × 0.04) and handed to the canvas in device dots, origin included.
#pragma once

#include <QString>

namespace kl40 {

enum class PrintStyle {
    Regular,
    Bold,
    BoldUnderline,
};

// What the layout needs of a printing device. Every position and size is in device dots.
// The font is "Courier New", 11 points, in the given style.
class PrintCanvas {
public:
    virtual ~PrintCanvas() = default;

    virtual int pageWidth() = 0;     // printable page width
    virtual int dpiX() = 0;
    virtual int dpiY() = 0;
    virtual int offsetX() = 0;       // physical offsets (the unprintable margins)
    virtual int offsetY() = 0;
    virtual int textWidth(const QString& text, PrintStyle style) = 0;
    virtual int textHeight(const QString& text, PrintStyle style) = 0;

    // Text on a transparent background, its bottom-left corner at (x, y).
    virtual void text(int x, int y, const QString& text, PrintStyle style) = 0;
    // Solid line, 2 dots wide.
    virtual void line(int x1, int y1, int x2, int y2) = 0;
    // Rectangle from (x1, y1) to (x2, y2) filled light grey (C0 C0 C0), no outline.
    virtual void stripe(int x1, int y1, int x2, int y2) = 0;
    // Rectangle outline from (x1, y1) to (x2, y2), solid 2 dots wide, not filled.
    virtual void frame(int x1, int y1, int x2, int y2) = 0;
};

// The values of one sheet, as texts held by the parameter set.
struct PrintSheet {
    QString identifier;     // as held (grouped or not); printed grouped 4-4-4
    QString address[7];     // slots 1..6: device, gateway, mask, servers 1..3 ([0] unused)
    int port[7] = {};       // slots 1..6 (gateway and mask ports are never printed)
    QString keyPart[4];     // 16 hexadecimal digits each, printed as eight pairs
    int duty1 = 0;
    int duty2 = 0;
    int answerWait = 0;
    int noAnswer = 0;
    QString date;           // the print date, the system's short date format
};

// The identifier as the sheet prints it: hexadecimal digits only, padded with "0" to 12,
// grouped 4-4-4.
QString sheetIdentifier(const QString& identifier);
// A key part as the sheet prints it: padded with "0" to 16 digits, eight pairs joined by "-".
QString sheetKeyPart(const QString& part);

// Draws the whole sheet.
void drawSheet(PrintCanvas& canvas, const PrintSheet& sheet);

}  // namespace kl40
