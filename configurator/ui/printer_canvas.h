// The sheet's canvas on a Qt paint device (a QPrinter, or a PDF printer for --print-pdf).
#pragma once

#include <QFont>
#include <QPainter>

#include "configurator/ui/print_layout.h"

class QPrinter;

namespace kl40 {

// The sheet's font: "Courier New", 11 points (Liberation Mono stands in for it where the family
// is missing, through the font configuration).
QFont sheetFont(PrintStyle style);

class PainterCanvas final : public PrintCanvas {
public:
    // `painter` is active on `printer`.
    PainterCanvas(QPainter& painter, QPrinter& printer);

    int pageWidth() override;
    int dpiX() override;
    int dpiY() override;
    int offsetX() override;
    int offsetY() override;
    int textWidth(const QString& text, PrintStyle style) override;
    int textHeight(const QString& text, PrintStyle style) override;
    void text(int x, int y, const QString& text, PrintStyle style) override;
    void line(int x1, int y1, int x2, int y2) override;
    void stripe(int x1, int y1, int x2, int y2) override;
    void frame(int x1, int y1, int x2, int y2) override;

private:
    QPainter& painter_;
    QPrinter& printer_;
};

// Prints the sheet drawn by `draw` on `printer` as one job titled `title`. Returns false when the
// printer cannot be started (the output file cannot be written, for example).
bool printSheet(QPrinter& printer, const QString& title, const std::function<void(PrintCanvas&)>& draw);

}  // namespace kl40
