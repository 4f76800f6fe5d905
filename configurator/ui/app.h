// The program kl40cfg: command line, settings, windows.
#pragma once

#include <QString>

class QPrinter;

namespace kl40 {

class MainFlow;

// Runs the program with the process's arguments; returns the exit code.
int runConfigurator(int argc, char** argv);

// --print-pdf: the sheet that "Печать" would print at this moment written to `pdfPath` (A4,
// high resolution, titled with the print job's title). Returns false with `error` set when the
// file cannot be written.
bool printToPdf(MainFlow& flow, const QString& pdfPath, QString* error);

}  // namespace kl40
