#include "configurator/ui/app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QPageSize>
#include <QPrinter>

#include <cstdio>

#include "configurator/ui/FormMain.h"
#include "configurator/ui/main_flow.h"
#include "configurator/ui/printer_canvas.h"
#include "configurator/ui/qt_dialogs.h"
#include "configurator/ui/settings_store.h"

namespace kl40 {

namespace {

// Dialogs of a run without windows: every message becomes one line on the error output.
class ConsoleDialogs final : public Dialogs {
public:
    int errorGeneral(const QString& message, const QString& recommendation, bool, bool) override
    {
        report(message, recommendation);
        return kResultCorrect;
    }
    int errorValidation(const QString& message, const QString& recommendation, bool) override
    {
        report(message, recommendation);
        return kResultCorrect;
    }
    int confirm(const QString&, const QString&, bool) override { return kResultClosed; }
    QString openFileName(const FileDialogRequest&) override { return {}; }
    QString saveFileName(const FileDialogRequest&) override { return {}; }
    bool print(const QString&, const std::function<void(PrintCanvas&)>&) override { return false; }
    bool editSettings(LibrarySettings&, NamingSettings&) override { return false; }

    bool failed = false;

private:
    void report(const QString& message, const QString& recommendation)
    {
        failed = true;
        std::fprintf(stderr, "kl40cfg: %s (%s)\n", message.toLocal8Bit().constData(),
                     recommendation.toLocal8Bit().constData());
    }
};

// True when the run shows no window: --print-pdf, --help, --version.
bool runsWithoutWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--print-pdf" || a.startsWith("--print-pdf=") || a == "--help" || a == "-h" ||
            a == "--help-all" || a == "--version" || a == "-v")
            return true;
    }
    return false;
}

}  // namespace

bool printToPdf(MainFlow& flow, const QString& pdfPath, QString* error)
{
    {
        // Learn why the file cannot be written before the printer is started.
        QFile probe(pdfPath);
        if (!probe.open(QIODevice::WriteOnly)) {
            if (error)
                *error = QStringLiteral("cannot write %1: %2").arg(pdfPath, probe.errorString());
            return false;
        }
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(flow.preparePrint());
    printer.setCreator(QStringLiteral("kl40cfg"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(pdfPath);
        return false;
    }
    PainterCanvas canvas(painter, printer);
    flow.drawCurrent(canvas);
    if (!painter.end()) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(pdfPath);
        return false;
    }
    return true;
}

int runConfigurator(int argc, char** argv)
{
    const bool headless = runsWithoutWindow(argc, argv);
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("kl40cfg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.2.1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KL40 converter configurator"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption pdf(QStringLiteral("print-pdf"),
                           QStringLiteral("Print the configuration sheet of FILE to OUT.pdf and exit."),
                           QStringLiteral("OUT.pdf"));
    parser.addOption(pdf);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Configuration file to open (default ./config.ini)."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    const QString file = args.isEmpty() ? QString() : args.first();

    QtSettingsStore store;

    if (parser.isSet(pdf)) {
        ConsoleDialogs console;
        MainFlow flow(store, console, programFolder());
        flow.start(file);
        if (console.failed)
            return 2;
        QString error;
        if (!printToPdf(flow, parser.value(pdf), &error)) {
            std::fprintf(stderr, "kl40cfg: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        return 0;
    }

    QtDialogs dialogs;
    MainFlow flow(store, dialogs, programFolder());
    FormMain window(flow);
    dialogs.setOwner(&window);
    window.show();
    flow.start(file);
    const int rc = app.exec();
    dialogs.setOwner(nullptr);
    return rc;
}

}  // namespace kl40
