// The main window: the pages "Параметры сети" and "Параметры протокола MX3", the command buttons
// and the file list. It binds its controls to MainFlow and forwards events; the logic is there.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QTimer>

#include "configurator/config/fields.h"
#include "configurator/ui/main_flow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeView;

namespace kl40 {

class FormMain : public QMainWindow, public MainView {
    Q_OBJECT
public:
    explicit FormMain(MainFlow& flow, QWidget* parent = nullptr);
    ~FormMain() override;

    // MainView
    void pullFields() override;
    void pushFields() override;
    void focusField(FieldId field) override;
    void setPagesVisible(bool visible) override;
    void setListState(bool list) override;
    void setTitle(const QString& title) override;
    void restorePageFocus() override;

    QWidget* fieldWidget(FieldId field) const { return fields_.value(static_cast<int>(field)); }
    QLineEdit* edit(FieldId field) const;
    QTabWidget* pages() const { return pages_; }
    QTreeView* fileList() const { return list_; }
    QTimer& listTimer() { return timer_; }
    // One tick of the list timer (the timer calls it every 50 ms while the list is shown).
    void listTick();
    // The row selected in the file list, -1 for none.
    int selectedRow() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildNetworkPage();
    QWidget* buildProtocolPage();
    QWidget* buildList();
    void addField(FieldId id, QWidget* w);
    void updateListControls();
    void openSelectedEntry();
    void chooseAddressMode(bool dhcp);
    Page pageOfWidget(QWidget* w) const;

    MainFlow& flow_;
    QHash<int, QWidget*> fields_;
    QHash<QWidget*, int> fieldIds_;
    QList<QWidget*> staticLabels_;
    QTabWidget* pages_ = nullptr;
    QWidget* editButtons_ = nullptr;
    QWidget* listPanel_ = nullptr;
    QTreeView* list_ = nullptr;
    QLabel* position_ = nullptr;
    QPushButton* listOpen_ = nullptr;
    QTimer timer_;
    FieldId remembered_[2] = {FieldId::RB_LAN_DHCP, FieldId::E_MX3_Ident};
    bool pushing_ = false;
};

}  // namespace kl40
