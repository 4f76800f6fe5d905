// The main window's operations as a plain object: start-up, open, save, print, defaults,
// settings, the link flow and the file list. The window only binds its controls to `fields()`
// and forwards its events; a test drives this object without a display.
#pragma once

#include "configurator/config/command.h"
#include "configurator/config/fields.h"
#include "configurator/config/pages.h"
#include "configurator/ui/dialogs.h"
#include "configurator/ui/library_settings.h"
#include "configurator/ui/naming.h"
#include "configurator/ui/print_layout.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kl40 {

class FileListModel;
class SettingsStore;

inline const QString kTitleBase = QStringLiteral("Конфигуратор конвертора KL40 v.2.2.1.0   =>   ");
inline const QString kOpenFilter =
    QStringLiteral("Конфигурация прибора (*.ini);;Все поддерживаемые форматы (*.ini)");
inline const QString kSaveFilter = QStringLiteral(
    "Конфигурация прибора (*.ini);;Конфигурация GSM-прибора (*.gsm);;"
    "Все поддерживаемые форматы (*.ini *.gsm)");

// What the flows need of the window beyond the field texts.
class MainView {
public:
    virtual ~MainView() = default;
    // The window's field texts are copied into fields() (before an unload).
    virtual void pullFields() = 0;
    // fields() are shown in the window (after a redraw).
    virtual void pushFields() = 0;
    // Switch to the field's page and put the focus into it.
    virtual void focusField(FieldId field) = 0;
    // The two pages shown or hidden (a reset to defaults hides them meanwhile).
    virtual void setPagesVisible(bool visible) = 0;
    // Editing state (false) or list state (true).
    virtual void setListState(bool list) = 0;
    virtual void setTitle(const QString& title) = 0;
    // After a redraw: the focus goes back to the shown page's remembered field.
    virtual void restorePageFocus() {}
};

class MainFlow {
public:
    MainFlow(SettingsStore& store, Dialogs& dialogs, const QString& defaultListFolder);
    ~MainFlow();

    void setView(MainView* view) { view_ = view; }
    void setLinkWindow(LinkWindow* link) { link_ = link; }
    bool hasLinkWindow() const { return link_ != nullptr; }
    // The date printed on the sheet (default: today in the system's short date format).
    void setDateSource(std::function<QString()> date) { date_ = std::move(date); }

    // Start-up: the current set reset; `file` (or "./config.ini" when empty) loaded if it exists,
    // else the defaults drawn; the title set.
    void start(const QString& file);

    // "Открыть": in list mode the list is filled and shown, else the open dialog.
    void open();
    // The open dialog, then the chosen file loaded.
    void openWithDialog();
    // Loads a file into the current set; on success the title gets its name and the window is
    // redrawn. On failure the error window is shown and the set keeps what it held.
    bool loadFile(const QString& path);
    // "Сохранить". Returns true when a file was written.
    bool save();
    // "Печать". Returns true when the sheet was printed.
    bool print();
    // The sheet of the current set as "Печать" prints it (unload and identifier formatting
    // included), on any canvas (used for --print-pdf too). Returns the job title.
    QString printTo(PrintCanvas& canvas);
    // The two steps of printTo: unload and identifier formatting (returns the job title), then
    // the sheet of the current set drawn.
    QString preparePrint();
    void drawCurrent(PrintCanvas& canvas);
    // "По-умолчанию".
    void resetToDefaults();
    // "Настройки".
    void editSettings();
    // "Связь...".
    void link();
    // Validation dialogue over the unloaded set; true when it passed.
    bool checkAll();

    // "Генерация", "Генерация ключа", "Очистка ключа" (act on the field texts).
    void generateIdentifier();
    void generateKey();
    void clearKey();

    // File list: the entry of a row opened; "Отменить"; "Выбрать файл \"вручную\"".
    bool openListEntry(int row);
    void cancelList();
    void chooseFileManually();
    bool listState() const { return listState_; }

    MainWindowFields& fields() { return fields_; }
    T_DEVICE_CommandMX3& current() { return current_; }
    const QString& title() const { return title_; }
    const QString& fileName() const { return fileName_; }
    NamingSettings& naming() { return naming_; }
    LibrarySettings& library() { return library_; }
    FileListModel& fileList() { return *list_; }
    QString saveInitialFolder() const { return saveInitialFolder_; }

    // Redraw all (set -> fields -> window) and unload all (window -> fields -> set).
    void redraw();
    void unload();

private:
    void setFileName(const QString& name);
    void setListStateInternal(bool list);
    QString readCaption(const QString& path);
    PrintSheet sheetOfCurrent() const;

    SettingsStore& store_;
    Dialogs& dialogs_;
    MainView* view_ = nullptr;
    LinkWindow* link_ = nullptr;
    std::function<QString()> date_;

    T_DEVICE_CommandMX3 current_;
    T_DEVICE_CommandMX3 scratch_;
    MainWindowFields fields_;
    NamingSettings naming_;
    LibrarySettings library_;
    std::unique_ptr<FileListModel> list_;
    QString title_;
    QString fileName_;
    QString saveInitialFolder_;
    bool listState_ = false;
};

// Converts between the window's texts and the core's UTF-8 strings.
inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

}  // namespace kl40
