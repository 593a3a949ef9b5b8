#pragma once
// How one printer is fed, from the per-user settings store (application "Tavo3", section
// "Printer_" + the printer's name):
//   Mode        raw     ESC/POS bytes as a raw job (a receipt printer on a queue without driver)
//               raster  pages drawn through the queue's driver
//               (empty) raw for a queue without a driver, raster otherwise
//   Columns     characters of the plain font across the print head (42, or 48 on 576-dot heads)
//   Buzzer      function48 (ESC ( A), escb (ESC B n t), bel, none
//   CodePage    the printer's single-byte page number (ESC t n) for text that is not Chinese
//   SizeCommand gs (GS !) or esc (ESC !, for models without GS !)
// A value that cannot be read leaves the default and is named in `problems`, for the log.
#include "print/escposrenderer.h"

#include <QStringList>

namespace tavo::print {

enum class PrinterMode { Guess, Raw, Raster };

struct PrinterSetup {
    PrinterMode mode = PrinterMode::Guess;
    EscPosOptions escpos;
    QStringList problems;
};

QString printerSetupSection(const QString &printerName);
PrinterSetup readPrinterSetup(const QString &printerName);

} // namespace tavo::print
