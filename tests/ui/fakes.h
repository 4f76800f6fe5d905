// Test doubles of the configurator's dialog, link-window and canvas interfaces.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <deque>
#include <functional>

#include "configurator/config/command.h"
#include "configurator/ui/dialogs.h"
#include "configurator/ui/library_settings.h"
#include "configurator/ui/naming.h"
#include "configurator/ui/print_layout.h"

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kl40::test {

// One question put to the user.
struct Asked {
    enum Kind { ErrorGeneral, ErrorValidation, Confirm, Open, Save, Print, Settings } kind;
    QString message;
    QString recommendation;
    bool flag1 = false;  // offerCorrect / offerDefault / ask / confirmOverwrite
    bool flag2 = false;  // offerContinue
    FileDialogRequest request;
};

// Answers from a queue (default when empty: 2 for messages, cancel for dialogs) and records
// every question.
class ScriptedDialogs final : public Dialogs {
public:
    std::deque<int> answers;          // message windows
    std::deque<QString> files;        // open/save dialogs ("" = cancel)
    bool printConfirmed = true;
    std::function<bool(LibrarySettings&, NamingSettings&)> settings;
    QVector<Asked> asked;
    class PrintCanvas* canvas = nullptr;  // drawn on when printing
    QString jobTitle;

    int next()
    {
        if (answers.empty())
            return kResultClosed;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

    int errorGeneral(const QString& m, const QString& r, bool correct, bool cont) override
    {
        asked.push_back({Asked::ErrorGeneral, m, r, correct, cont, {}});
        return next();
    }
    int errorValidation(const QString& m, const QString& r, bool offerDefault) override
    {
        asked.push_back({Asked::ErrorValidation, m, r, offerDefault, false, {}});
        return next();
    }
    int confirm(const QString& m, const QString& r, bool ask) override
    {
        asked.push_back({Asked::Confirm, m, r, ask, false, {}});
        return next();
    }
    QString takeFile()
    {
        if (files.empty())
            return {};
        QString f = files.front();
        files.pop_front();
        return f;
    }
    QString openFileName(const FileDialogRequest& req) override
    {
        asked.push_back({Asked::Open, {}, {}, false, false, req});
        return takeFile();
    }
    QString saveFileName(const FileDialogRequest& req) override
    {
        asked.push_back({Asked::Save, {}, {}, req.confirmOverwrite, false, req});
        return takeFile();
    }
    bool print(const QString& title, const std::function<void(PrintCanvas&)>& draw) override
    {
        asked.push_back({Asked::Print, title, {}, false, false, {}});
        if (!printConfirmed)
            return false;
        jobTitle = title;
        if (canvas)
            draw(*canvas);
        return true;
    }
    bool editSettings(LibrarySettings& l, NamingSettings& n) override
    {
        asked.push_back({Asked::Settings, {}, {}, false, false, {}});
        return settings ? settings(l, n) : false;
    }

    QVector<Asked> of(Asked::Kind k) const
    {
        QVector<Asked> out;
        for (const Asked& a : asked)
            if (a.kind == k)
                out.push_back(a);
        return out;
    }
};

// The link window answering with a fixed result and set.
class FakeLinkWindow final : public LinkWindow {
public:
    int result = 0;
    T_DEVICE_CommandMX3 deviceSet;
    bool prepared = false;
    bool shown = false;
    LibrarySettings settingsSeen;
    T_DEVICE_CommandMX3 setSeen;

    void prepareLink(const LibrarySettings& s, const T_DEVICE_CommandMX3& set) override
    {
        prepared = true;
        settingsSeen = s;
        setSeen = set;
    }
    void exec() override { shown = true; }
    int linkResult() const override { return result; }
    void fetchParameters(T_DEVICE_CommandMX3& set) const override { set.Assign(deviceSet); }
};

// Records every drawing call, in dots. Text is measured as `charWidth` per character and
// `lineHeight` high; the resolution and offsets are set by the test.
class RecordingCanvas final : public PrintCanvas {
public:
    struct Call {
        enum Kind { Text, Line, Stripe, Frame } kind;
        int x1, y1, x2, y2;
        QString text;
        PrintStyle style;
    };

    int width = 2000;
    int dx = 250;
    int dy = 250;
    int ox = 0;
    int oy = 0;
    int charWidth = 10;
    int lineHeight = 20;
    QVector<Call> calls;

    int pageWidth() override { return width; }
    int dpiX() override { return dx; }
    int dpiY() override { return dy; }
    int offsetX() override { return ox; }
    int offsetY() override { return oy; }
    int textWidth(const QString& t, PrintStyle) override { return charWidth * t.size(); }
    int textHeight(const QString&, PrintStyle) override { return lineHeight; }
    void text(int x, int y, const QString& t, PrintStyle s) override
    {
        calls.push_back({Call::Text, x, y, 0, 0, t, s});
    }
    void line(int x1, int y1, int x2, int y2) override
    {
        calls.push_back({Call::Line, x1, y1, x2, y2, {}, PrintStyle::Regular});
    }
    void stripe(int x1, int y1, int x2, int y2) override
    {
        calls.push_back({Call::Stripe, x1, y1, x2, y2, {}, PrintStyle::Regular});
    }
    void frame(int x1, int y1, int x2, int y2) override
    {
        calls.push_back({Call::Frame, x1, y1, x2, y2, {}, PrintStyle::Regular});
    }

    // The first text call whose text equals `t`, or nullptr.
    const Call* findText(const QString& t) const
    {
        for (const Call& c : calls)
            if (c.kind == Call::Text && c.text == t)
                return &c;
        return nullptr;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Call& c : calls)
            if (c.kind == Call::Text)
                out << c.text;
        return out;
    }
};

}  // namespace kl40::test
