#include "configurator/ui/printer_canvas.h"

#include <QFontMetrics>
#include <QPrinter>

namespace kl40 {

QFont sheetFont(PrintStyle style)
{
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(11);
    f.setBold(style != PrintStyle::Regular);
    f.setUnderline(style == PrintStyle::BoldUnderline);
    return f;
}

PainterCanvas::PainterCanvas(QPainter& painter, QPrinter& printer) : painter_(painter), printer_(printer)
{
    painter_.setBackgroundMode(Qt::TransparentMode);
}

int PainterCanvas::pageWidth() { return printer_.width(); }
int PainterCanvas::dpiX() { return printer_.logicalDpiX(); }
int PainterCanvas::dpiY() { return printer_.logicalDpiY(); }
int PainterCanvas::offsetX() { return qRound(printer_.pageRect(QPrinter::DevicePixel).left()); }
int PainterCanvas::offsetY() { return qRound(printer_.pageRect(QPrinter::DevicePixel).top()); }

int PainterCanvas::textWidth(const QString& text, PrintStyle style)
{
    return QFontMetrics(sheetFont(style), &printer_).horizontalAdvance(text);
}

int PainterCanvas::textHeight(const QString&, PrintStyle style)
{
    return QFontMetrics(sheetFont(style), &printer_).height();
}

void PainterCanvas::text(int x, int y, const QString& text, PrintStyle style)
{
    const QFont f = sheetFont(style);
    painter_.setFont(f);
    painter_.setPen(Qt::black);
    painter_.drawText(QPoint(x, y - QFontMetrics(f, &printer_).descent()), text);
}

void PainterCanvas::line(int x1, int y1, int x2, int y2)
{
    painter_.setPen(QPen(Qt::black, 2, Qt::SolidLine));
    painter_.drawLine(x1, y1, x2, y2);
}

void PainterCanvas::stripe(int x1, int y1, int x2, int y2)
{
    painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), QColor(0xC0, 0xC0, 0xC0));
}

void PainterCanvas::frame(int x1, int y1, int x2, int y2)
{
    painter_.setPen(QPen(Qt::black, 2, Qt::SolidLine));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(QRect(x1, y1, x2 - x1, y2 - y1));
}

bool printSheet(QPrinter& printer, const QString& title, const std::function<void(PrintCanvas&)>& draw)
{
    printer.setDocName(title);
    printer.setCreator(QStringLiteral("kl40cfg"));
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    PainterCanvas canvas(painter, printer);
    draw(canvas);
    return painter.end();
}

}  // namespace kl40
