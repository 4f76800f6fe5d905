// The settings dialog "Параметры работы": page "Работа с файлами" (list mode, list folder,
// naming by mask) and page "Связь с прибором" (the library settings and the local ports).
#pragma once

#include <QDialog>

#include "configurator/ui/library_settings.h"
#include "configurator/ui/naming.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;

namespace kl40 {

class TypingLimitValidator;

class FormConfig : public QDialog {
    Q_OBJECT
public:
    explicit FormConfig(QWidget* parent = nullptr);

    // Fills both pages; the example name is recomputed.
    void fill(const LibrarySettings& library, const NamingSettings& naming);
    // "Применить": the values taken over into the two records (what the fields leave untouched
    // keeps its value).
    void takeOver(LibrarySettings& library, NamingSettings& naming) const;

    // The example name from the dialog's current values with the identifier "AAAABBBBCCCC".
    QString exampleName() const;
    void updateExample();
    // "По-умолчанию" of the page "Связь с прибором": shows the library defaults, stores nothing.
    void showLibraryDefaults();
    // The browse button: the folder tree with the field's text.
    void browseFolder();

    QTabWidget* tabs() const { return tabs_; }
    // The choice code (0, 1, 3, 4) selected for element 1..3.
    int elementChoice(int element) const;

private:
    void updateEnabled();

    QTabWidget* tabs_;
    QRadioButton* modeNormal_;
    QRadioButton* modeList_;
    QLineEdit* listPath_;
    TypingLimitValidator* listPathLimit_;
    QWidget* browse_;
    QLabel* listPathLabel_;
    QCheckBox* maskMode_;
    QGroupBox* maskGroup_;
    QLineEdit* prefix_;
    QLineEdit* suffix_;
    QLineEdit* delim1_;
    QLineEdit* delim2_;
    QButtonGroup* elements_[3];
    QLabel* example_;
    QLineEdit* libraryFields_[kLibraryFieldCount];
    QLineEdit* ports_;
    NamingSettings namingShown_;
};

}  // namespace kl40
