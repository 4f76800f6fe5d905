#include "configurator/ui/FormMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "configurator/config/pages.h"
#include "configurator/ui/field_widgets.h"
#include "configurator/ui/file_list.h"

namespace kl40 {

namespace {

QString nameOf(FieldId id)
{
    const std::string_view n = field_name(id);
    return QString::fromLatin1(n.data(), static_cast<qsizetype>(n.size()));
}

QLineEdit* maskedEdit(const QString& mask, int width)
{
    auto* e = new QLineEdit;
    e->setInputMask(mask);
    e->setMinimumWidth(width);
    e->setMaximumWidth(width);
    return e;
}

// An address field's text with the digits of each group standing right: a group typed as "1"
// and left with two blank positions means 1 (as shown), not 100.
std::string addressText(const QLineEdit* e)
{
    QStringList groups = e->displayText().split('.');
    for (QString& g : groups) {
        QString digits = g;
        digits.remove(' ');
        g = digits.rightJustified(3, ' ');
    }
    return groups.join('.').toStdString();
}

const FieldId kAddressFields[] = {FieldId::E_LAN_IP, FieldId::E_LAN_Mask, FieldId::E_LAN_GateWay,
                                  FieldId::E_MX3_Server1, FieldId::E_MX3_Server2,
                                  FieldId::E_MX3_Server3};

}  // namespace

FormMain::FormMain(MainFlow& flow, QWidget* parent) : QMainWindow(parent), flow_(flow)
{
    setObjectName("FormMain");
    auto* central = new QWidget(this);
    auto* lay = new QVBoxLayout(central);

    pages_ = new QTabWidget(central);
    pages_->setObjectName("PC_Main");
    pages_->addTab(buildNetworkPage(), QStringLiteral("Параметры сети"));
    pages_->addTab(buildProtocolPage(), QStringLiteral("Параметры протокола MX3"));
    lay->addWidget(pages_, 1);

    editButtons_ = new QWidget(central);
    editButtons_->setObjectName("P_Buttons");
    auto* bl = new QHBoxLayout(editButtons_);
    bl->setContentsMargins(0, 0, 0, 0);
    struct B {
        const char* name;
        const char* text;
    };
    const B buttons[] = {{"BtnOpen", "Открыть"},        {"BtnSave", "Сохранить"},
                         {"BtnPrint", "Печать"},        {"BtnLink", "Связь..."},
                         {"BtnDefault", "По-умолчанию"}, {"BtnConfig", "Настройки"}};
    QHash<QString, QPushButton*> byName;
    for (const B& b : buttons) {
        auto* btn = new QPushButton(QString::fromUtf8(b.text), editButtons_);
        btn->setObjectName(b.name);
        bl->addWidget(btn);
        byName.insert(b.name, btn);
    }
    lay->addWidget(editButtons_);
    lay->addWidget(buildList(), 1);
    setCentralWidget(central);

    connect(byName["BtnOpen"], &QPushButton::clicked, this, [this] { flow_.open(); });
    connect(byName["BtnSave"], &QPushButton::clicked, this, [this] { flow_.save(); });
    connect(byName["BtnPrint"], &QPushButton::clicked, this, [this] { flow_.print(); });
    connect(byName["BtnLink"], &QPushButton::clicked, this, [this] { flow_.link(); });
    connect(byName["BtnDefault"], &QPushButton::clicked, this, [this] { flow_.resetToDefaults(); });
    connect(byName["BtnConfig"], &QPushButton::clicked, this, [this] { flow_.editSettings(); });
    // The link window comes with the device link; until then the button stays disabled.
    byName["BtnLink"]->setEnabled(flow_.hasLinkWindow());

    connect(pages_, &QTabWidget::currentChanged, this, [this](int) { restorePageFocus(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        auto it = fieldIds_.constFind(now);
        if (it == fieldIds_.constEnd())
            return;
        const FieldId id = static_cast<FieldId>(*it);
        remembered_[page_of(id) == Page::Tab_LAN ? 0 : 1] = id;
    });

    timer_.setInterval(kFileListTickMs);
    connect(&timer_, &QTimer::timeout, this, &FormMain::listTick);

    flow_.setView(this);
    setListState(false);
    resize(1010, 520);
}

FormMain::~FormMain()
{
    // Closing the window moves the focus; the children must not report it to a half-destroyed
    // window.
    disconnect(qApp, nullptr, this, nullptr);
    timer_.stop();
    flow_.setView(nullptr);
}

void FormMain::addField(FieldId id, QWidget* w)
{
    w->setObjectName(nameOf(id));
    fields_.insert(static_cast<int>(id), w);
    fieldIds_.insert(w, static_cast<int>(id));
    FocusColour::install(w, qobject_cast<QRadioButton*>(w) ? FocusColour::Choice
                                                           : FocusColour::TextField);
}

QLineEdit* FormMain::edit(FieldId field) const
{
    return qobject_cast<QLineEdit*>(fieldWidget(field));
}

QWidget* FormMain::buildNetworkPage()
{
    auto* page = new QWidget;
    page->setObjectName("Tab_LAN");
    auto* g = new QGridLayout(page);

    auto* dhcp = new QRadioButton(QStringLiteral("получить автоматически (DHCP)"));
    auto* stat = new QRadioButton(QStringLiteral("использовать следующий"));
    addField(FieldId::RB_LAN_DHCP, dhcp);
    addField(FieldId::RB_LAN_StaticIP, stat);
    auto* mode = new QButtonGroup(page);
    mode->addButton(dhcp);
    mode->addButton(stat);
    g->addWidget(dhcp, 0, 0, 1, 3);
    g->addWidget(stat, 1, 0, 1, 3);
    connect(dhcp, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !pushing_)
            chooseAddressMode(true);
    });
    connect(stat, &QRadioButton::toggled, this, [this](bool on) {
        if (on && !pushing_)
            chooseAddressMode(false);
    });

    const QString addressMask = QStringLiteral("000.000.000.000");
    struct Row {
        FieldId id;
        const char* label;
        const char* labelName;
    };
    const Row lan[] = {{FieldId::E_LAN_IP, "IP-адрес", "L_LAN_IP"},
                       {FieldId::E_LAN_Mask, "Маска сети", "L_LAN_Mask"},
                       {FieldId::E_LAN_GateWay, "Шлюз", "L_LAN_GateWay"}};
    int row = 2;
    for (const Row& r : lan) {
        QLineEdit* e = maskedEdit(addressMask, 130);
        addField(r.id, e);
        auto* l = new ClickLabel(QString::fromUtf8(r.label), e);
        l->setObjectName(r.labelName);
        staticLabels_ << l;
        g->addWidget(l, row, 1);
        g->addWidget(e, row, 2);
        ++row;
    }
    QLineEdit* port = makeDigitEdit(5);
    port->setMaximumWidth(70);
    addField(FieldId::E_LAN_Port, port);
    auto* portLabel = new ClickLabel(QStringLiteral("Порт для отправки пакетов :"), port);
    portLabel->setObjectName("L_LAN_Port");
    g->addWidget(portLabel, row, 0, 1, 2);
    g->addWidget(port, row, 2);
    ++row;
    g->setRowMinimumHeight(row++, 12);

    const FieldId servers[3] = {FieldId::E_MX3_Server1, FieldId::E_MX3_Server2, FieldId::E_MX3_Server3};
    const FieldId ports[3] = {FieldId::E_MX3_Port1, FieldId::E_MX3_Port2, FieldId::E_MX3_Port3};
    for (int i = 0; i < 3; ++i) {
        QLineEdit* s = maskedEdit(addressMask, 130);
        addField(servers[i], s);
        auto* sl = new ClickLabel(QStringLiteral("Сервер №%1:").arg(i + 1), s);
        sl->setObjectName(QStringLiteral("L_MX3_Server%1").arg(i + 1));
        QLineEdit* p = makeDigitEdit(5);
        p->setMaximumWidth(70);
        addField(ports[i], p);
        auto* pl = new ClickLabel(QStringLiteral("порт :"), p);
        pl->setObjectName(QStringLiteral("L_MX3_Port%1").arg(i + 1));
        g->addWidget(sl, row, 0, 1, 2);
        g->addWidget(s, row, 2);
        g->addWidget(pl, row, 3);
        g->addWidget(p, row, 4);
        ++row;
    }
    g->setColumnMinimumWidth(0, 24);
    g->setColumnStretch(5, 1);
    g->setRowStretch(row, 1);
    return page;
}

QWidget* FormMain::buildProtocolPage()
{
    auto* page = new QWidget;
    page->setObjectName("Tab_MX3");
    auto* g = new QGridLayout(page);

    QLineEdit* ident = maskedEdit(QStringLiteral(">nnnn-nnnn-nnnn"), 130);
    addField(FieldId::E_MX3_Ident, ident);
    auto* il = new ClickLabel(QStringLiteral("Идентификатор    :"), ident);
    il->setObjectName("L_MX3_Ident");
    auto* gen = new QPushButton(QStringLiteral("Генерация"));
    gen->setObjectName("B_MX3_Ident_Generate");
    g->addWidget(il, 0, 0);
    g->addWidget(ident, 0, 1);
    g->addWidget(gen, 0, 2);
    ident->installEventFilter(this);

    const FieldId keys[4] = {FieldId::E_MX3_Key_1, FieldId::E_MX3_Key_2, FieldId::E_MX3_Key_3,
                             FieldId::E_MX3_Key_4};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* k = maskedEdit(QStringLiteral(">nn-nn-nn-nn-nn-nn-nn-nn"), 190);
        addField(keys[i], k);
        k->installEventFilter(this);
        if (i == 0) {
            auto* kl = new ClickLabel(QStringLiteral("Ключ шифрации  :"), k);
            kl->setObjectName("L_MX3_Key");
            g->addWidget(kl, 1, 0);
        } else {
            k->setAccessibleName(QStringLiteral("Ключ шифрации  : %1").arg(i + 1));
        }
        g->addWidget(k, 1 + i, 1, 1, 2);
    }
    auto* genKey = new QPushButton(QStringLiteral("Генерация ключа"));
    genKey->setObjectName("B_MX3_Key_Generate");
    auto* clearKey = new QPushButton(QStringLiteral("Очистка ключа"));
    clearKey->setObjectName("B_MX3_Key_Clear");
    g->addWidget(genKey, 1, 3);
    g->addWidget(clearKey, 2, 3);
    g->setRowMinimumHeight(5, 12);

    struct Num {
        FieldId id;
        const char* label;
        const char* labelName;
        const char* spinName;
        int digits;
        SpinRange range;
        const char* unit;
    };
    const Num nums[] = {
        {FieldId::E_MX3_Duty1, "Период сообщ. \"деж.реж.\" тип 1:", "L_MX3_Duty1", "UD_MX3_Duty1", 3,
         kDutySpin, "сек."},
        {FieldId::E_MX3_Duty2, "Период сообщ. \"деж.реж.\" тип 2:", "L_MX3_Duty2", "UD_MX3_Duty2", 3,
         kDutySpin, "сек."},
        {FieldId::E_MX3_Answer, "Время ожидания ответа :", "L_MX3_Answer", "UD_MX3_Answer", 2,
         kAnswerSpin, "сек."},
        {FieldId::E_MX3_NoAnswer, "Макс.число неотв. на сообщ. :", "L_MX3_NoAnswer",
         "UD_MX3_NoAnswer", 2, kNoAnswerSpin, ""},
    };
    int row = 6;
    for (const Num& n : nums) {
        QLineEdit* e = makeDigitEdit(n.digits);
        e->setMaximumWidth(50);
        addField(n.id, e);
        auto* l = new ClickLabel(QString::fromUtf8(n.label), e);
        l->setObjectName(n.labelName);
        auto* ud = new UpDown(e, n.range.min, n.range.max);
        ud->setObjectName(n.spinName);
        auto* box = new QHBoxLayout;
        box->setSpacing(1);
        box->addWidget(e);
        box->addWidget(ud);
        box->addWidget(new QLabel(QString::fromUtf8(n.unit)));
        box->addStretch(1);
        g->addWidget(l, row, 0);
        g->addLayout(box, row, 1, 1, 2);
        ++row;
    }
    g->setColumnStretch(4, 1);
    g->setRowStretch(row, 1);

    connect(gen, &QPushButton::clicked, this, [this] { flow_.generateIdentifier(); });
    connect(genKey, &QPushButton::clicked, this, [this] { flow_.generateKey(); });
    connect(clearKey, &QPushButton::clicked, this, [this] { flow_.clearKey(); });
    return page;
}

QWidget* FormMain::buildList()
{
    listPanel_ = new QWidget;
    listPanel_->setObjectName("P_List");
    auto* lay = new QVBoxLayout(listPanel_);
    lay->setContentsMargins(0, 0, 0, 0);

    list_ = new QTreeView(listPanel_);
    list_->setObjectName("ListFileConfig");
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setModel(&flow_.fileList());
    QHeaderView* h = list_->header();
    h->setSectionsMovable(false);
    h->setStretchLastSection(false);
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->resizeSection(FileListModel::CaptionColumn, 185);
    h->resizeSection(FileListModel::FileColumn, 780);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(false);
    FocusColour::install(list_, FocusColour::TextField);
    list_->installEventFilter(this);
    lay->addWidget(list_, 1);

    auto* row = new QHBoxLayout;
    position_ = new QLabel(listPanel_);
    position_->setObjectName("L_ListPosition");
    position_->setMinimumWidth(120);
    auto* cancel = new QPushButton(QStringLiteral("Отменить"), listPanel_);
    cancel->setObjectName("BtnListCancel");
    listOpen_ = new QPushButton(QStringLiteral("Открыть файл"), listPanel_);
    listOpen_->setObjectName("BtnListOpen");
    auto* manual = new QPushButton(QStringLiteral("Выбрать файл \"вручную\""), listPanel_);
    manual->setObjectName("BtnListManual");
    row->addWidget(position_);
    row->addStretch(1);
    row->addWidget(cancel);
    row->addWidget(listOpen_);
    row->addWidget(manual);
    lay->addLayout(row);

    connect(h, &QHeaderView::sectionClicked, this, [this](int column) {
        flow_.fileList().sortByColumn(column);
        updateListControls();
    });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateListControls(); });
    connect(list_, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { openSelectedEntry(); });
    connect(cancel, &QPushButton::clicked, this, [this] { flow_.cancelList(); });
    connect(listOpen_, &QPushButton::clicked, this, [this] { openSelectedEntry(); });
    connect(manual, &QPushButton::clicked, this, [this] { flow_.chooseFileManually(); });
    return listPanel_;
}

int FormMain::selectedRow() const
{
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FormMain::updateListControls()
{
    FileListModel& m = flow_.fileList();
    const int sel = selectedRow();
    listOpen_->setEnabled(sel >= 0);
    position_->setText(m.positionText(sel));
    QPalette p = position_->palette();
    p.setColor(QPalette::WindowText, m.labelRed() ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    position_->setPalette(p);
    QHeaderView* h = list_->header();
    if (m.markedColumn() < 0) {
        h->setSortIndicatorShown(false);
    } else {
        h->setSortIndicatorShown(true);
        // The header draws Qt's descending order as the "up" mark, which a positive direction shows.
        h->setSortIndicator(m.markedColumn(),
                            m.sortDirection() > 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void FormMain::listTick()
{
    flow_.fileList().tick();
    if (!flow_.fileList().reading())
        timer_.stop();
    updateListControls();
}

void FormMain::openSelectedEntry()
{
    const int row = selectedRow();
    if (row >= 0)
        flow_.openListEntry(row);
}

void FormMain::chooseAddressMode(bool dhcp)
{
    pullFields();
    if (dhcp)
        ChooseDhcp(flow_.current(), flow_.fields().network);
    else
        ChooseStatic(flow_.current(), flow_.fields().network);
    pushFields();
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            openSelectedEntry();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut) {
        auto* e = qobject_cast<QLineEdit*>(watched);
        if (e && e == edit(FieldId::E_MX3_Ident))
            e->setText(qs(ReformatIdentField(ss(e->displayText()))));
        else if (e && (e == edit(FieldId::E_MX3_Key_1) || e == edit(FieldId::E_MX3_Key_2) ||
                       e == edit(FieldId::E_MX3_Key_3) || e == edit(FieldId::E_MX3_Key_4)))
            e->setText(qs(ReformatKeyField(ss(e->displayText()))));
    }
    return QMainWindow::eventFilter(watched, event);
}

void FormMain::pullFields()
{
    NetworkPageFields& n = flow_.fields().network;
    n.ip = addressText(edit(FieldId::E_LAN_IP));
    n.gateway = addressText(edit(FieldId::E_LAN_GateWay));
    n.mask = addressText(edit(FieldId::E_LAN_Mask));
    n.port = ss(edit(FieldId::E_LAN_Port)->text());
    n.server[0] = addressText(edit(FieldId::E_MX3_Server1));
    n.server[1] = addressText(edit(FieldId::E_MX3_Server2));
    n.server[2] = addressText(edit(FieldId::E_MX3_Server3));
    n.server_port[0] = ss(edit(FieldId::E_MX3_Port1)->text());
    n.server_port[1] = ss(edit(FieldId::E_MX3_Port2)->text());
    n.server_port[2] = ss(edit(FieldId::E_MX3_Port3)->text());
    n.dhcp = qobject_cast<QRadioButton*>(fieldWidget(FieldId::RB_LAN_DHCP))->isChecked();
    n.static_enabled = edit(FieldId::E_LAN_IP)->isEnabled();

    ProtocolPageFields& p = flow_.fields().protocol;
    p.ident = ss(edit(FieldId::E_MX3_Ident)->displayText());
    p.key[0] = ss(edit(FieldId::E_MX3_Key_1)->displayText());
    p.key[1] = ss(edit(FieldId::E_MX3_Key_2)->displayText());
    p.key[2] = ss(edit(FieldId::E_MX3_Key_3)->displayText());
    p.key[3] = ss(edit(FieldId::E_MX3_Key_4)->displayText());
    p.duty1 = ss(edit(FieldId::E_MX3_Duty1)->text());
    p.duty2 = ss(edit(FieldId::E_MX3_Duty2)->text());
    p.answer = ss(edit(FieldId::E_MX3_Answer)->text());
    p.no_answer = ss(edit(FieldId::E_MX3_NoAnswer)->text());
}

void FormMain::pushFields()
{
    pushing_ = true;
    const NetworkPageFields& n = flow_.fields().network;
    edit(FieldId::E_LAN_IP)->setText(qs(n.ip));
    edit(FieldId::E_LAN_GateWay)->setText(qs(n.gateway));
    edit(FieldId::E_LAN_Mask)->setText(qs(n.mask));
    edit(FieldId::E_LAN_Port)->setText(qs(n.port));
    edit(FieldId::E_MX3_Server1)->setText(qs(n.server[0]));
    edit(FieldId::E_MX3_Server2)->setText(qs(n.server[1]));
    edit(FieldId::E_MX3_Server3)->setText(qs(n.server[2]));
    edit(FieldId::E_MX3_Port1)->setText(qs(n.server_port[0]));
    edit(FieldId::E_MX3_Port2)->setText(qs(n.server_port[1]));
    edit(FieldId::E_MX3_Port3)->setText(qs(n.server_port[2]));
    qobject_cast<QRadioButton*>(fieldWidget(n.dhcp ? FieldId::RB_LAN_DHCP : FieldId::RB_LAN_StaticIP))
        ->setChecked(true);
    for (FieldId id : {FieldId::E_LAN_IP, FieldId::E_LAN_Mask, FieldId::E_LAN_GateWay})
        fieldWidget(id)->setEnabled(n.static_enabled);
    for (QWidget* l : staticLabels_)
        l->setEnabled(n.static_enabled);

    const ProtocolPageFields& p = flow_.fields().protocol;
    edit(FieldId::E_MX3_Ident)->setText(qs(p.ident));
    edit(FieldId::E_MX3_Key_1)->setText(qs(p.key[0]));
    edit(FieldId::E_MX3_Key_2)->setText(qs(p.key[1]));
    edit(FieldId::E_MX3_Key_3)->setText(qs(p.key[2]));
    edit(FieldId::E_MX3_Key_4)->setText(qs(p.key[3]));
    edit(FieldId::E_MX3_Duty1)->setText(qs(p.duty1));
    edit(FieldId::E_MX3_Duty2)->setText(qs(p.duty2));
    edit(FieldId::E_MX3_Answer)->setText(qs(p.answer));
    edit(FieldId::E_MX3_NoAnswer)->setText(qs(p.no_answer));
    pushing_ = false;
}

void FormMain::restorePageFocus()
{
    if (!isVisible() || !pages_->isVisible())
        return;
    const bool lan = pages_->currentIndex() == 0;
    FieldId target = remembered_[lan ? 0 : 1];
    if (lan)
        target = NetworkFocusAfterRedraw(target, flow_.fields().network);
    QWidget* w = fieldWidget(target);
    if (w && w->isEnabled())
        w->setFocus(Qt::OtherFocusReason);
}

void FormMain::focusField(FieldId field)
{
    pages_->setCurrentIndex(page_of(field) == Page::Tab_LAN ? 0 : 1);
    if (QWidget* w = fieldWidget(field)) {
        remembered_[page_of(field) == Page::Tab_LAN ? 0 : 1] = field;
        w->setFocus(Qt::OtherFocusReason);
    }
}

void FormMain::setPagesVisible(bool visible) { pages_->setVisible(visible); }

void FormMain::setListState(bool list)
{
    pages_->setVisible(!list);
    editButtons_->setVisible(!list);
    listPanel_->setVisible(list);
    if (list) {
        if (flow_.fileList().rowCount() > 0) {
            list_->setCurrentIndex(flow_.fileList().index(0, 0));
            list_->selectionModel()->select(flow_.fileList().index(0, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        list_->setFocus(Qt::OtherFocusReason);
        timer_.start();
    } else {
        timer_.stop();
    }
    updateListControls();
}

void FormMain::setTitle(const QString& title) { setWindowTitle(title); }

Page FormMain::pageOfWidget(QWidget* w) const
{
    auto it = fieldIds_.constFind(w);
    return it == fieldIds_.constEnd() ? Page::Tab_LAN : page_of(static_cast<FieldId>(*it));
}

}  // namespace kl40
