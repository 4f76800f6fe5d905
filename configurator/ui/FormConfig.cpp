#include "configurator/ui/FormConfig.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "configurator/ui/FormPathTree.h"
#include "configurator/ui/field_widgets.h"

namespace kl40 {

namespace {

const int kCodes[4] = {kElementEmpty, kElementPrefix, kElementIdentifier, kElementSuffix};
const char* const kChoiceTexts[4] = {"Пусто", "Префикс", "Идентификатор", "Постфикс"};

struct LibraryRow {
    const char* label;
    const char* name;
    const char* unit;
};

const LibraryRow kLibraryRows[kLibraryFieldCount] = {
    {"Ожидание до неисправности после открытия канала", "E_Open_GPRS", " сек."},
    {"Ожидание до начала принудительного опроса ", "E_ToSendDG2_GPRS", " сек."},
    {"Пауза между подачами принудительных опросов", "E_ToRetrySendDG2_GPRS", " сек."},
    {"Число принудительных опросов ", "E_CountRetrySendDG2_GPRS", " шт."},
    {"Время ожидания ответа на переданную команду ", "E_ToWaitKvitCmd_GPRS", " сек."},
    {"Задержка ответа на принятый пакет ", "E_ToWaitSendDAfterIn", " мсек."},
    {"Число \"одинаковых\" пакетов", "E_CountRetryRecive_GPRS", " шт."},
    {"Число пакетов неправильной меткой ", "E_CountNoGoodTimeTag_GPRS", " шт."},
};

QLineEdit* nameEdit(const char* name, int length, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(length);
    e->setValidator(new NameCharsValidator(e));
    return e;
}

}  // namespace

FormConfig::FormConfig(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormConfig");
    setWindowTitle(QStringLiteral("Параметры работы"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("PC_Config");

    // Page "Работа с файлами".
    auto* files = new QWidget;
    files->setObjectName("Tab_Files");
    auto* fl = new QVBoxLayout(files);

    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(new QLabel(QStringLiteral("Режим открытия/сохранения :")));
    modeNormal_ = new QRadioButton(QStringLiteral("обычный"));
    modeNormal_->setObjectName("RB_ModeNormal");
    modeList_ = new QRadioButton(QStringLiteral("список "));
    modeList_->setObjectName("RB_ModeList");
    modeRow->addWidget(modeNormal_);
    modeRow->addWidget(modeList_);
    modeRow->addStretch(1);
    fl->addLayout(modeRow);

    auto* pathRow = new QHBoxLayout;
    listPath_ = new QLineEdit;
    listPath_->setObjectName("E_ListPath");
    listPathLimit_ = new TypingLimitValidator(listPath_, 16);
    listPath_->setValidator(listPathLimit_);
    listPathLabel_ = new ClickLabel(QStringLiteral("Каталог сохранения файлов:"), listPath_);
    listPathLabel_->setObjectName("L_ListPath");
    auto* browse = new QToolButton;
    browse->setObjectName("B_ListPath");
    browse->setText(QStringLiteral("..."));
    browse_ = browse;
    pathRow->addWidget(listPathLabel_);
    pathRow->addWidget(listPath_, 1);
    pathRow->addWidget(browse);
    fl->addLayout(pathRow);

    maskMode_ = new QCheckBox(QStringLiteral("При сохранении формировать имя файла по маске :"));
    maskMode_->setObjectName("CB_MaskMode");
    fl->addWidget(maskMode_);

    maskGroup_ = new QGroupBox(QStringLiteral("Пораметры формирования имени файла"));
    maskGroup_->setObjectName("GB_Mask");
    auto* gl = new QGridLayout(maskGroup_);
    prefix_ = nameEdit("E_MaskPref", 10, maskGroup_);
    suffix_ = nameEdit("E_MaskSuff", 10, maskGroup_);
    delim1_ = nameEdit("E_MaskDelim1", 1, maskGroup_);
    delim2_ = nameEdit("E_MaskDelim2", 1, maskGroup_);
    gl->addWidget(new ClickLabel(QStringLiteral("Префикс:"), prefix_), 0, 0);
    gl->addWidget(prefix_, 0, 1);
    gl->addWidget(new ClickLabel(QStringLiteral("Постфикс:"), suffix_), 0, 2);
    gl->addWidget(suffix_, 0, 3);
    gl->addWidget(new ClickLabel(QStringLiteral("Разделитель №1:"), delim1_), 1, 0);
    gl->addWidget(delim1_, 1, 1);
    gl->addWidget(new ClickLabel(QStringLiteral("Разделитель №2:"), delim2_), 1, 2);
    gl->addWidget(delim2_, 1, 3);
    auto* elementsRow = new QHBoxLayout;
    for (int e = 0; e < 3; ++e) {
        auto* box = new QGroupBox(QStringLiteral("Элемент №%1").arg(e + 1));
        box->setObjectName(QStringLiteral("GB_Element%1").arg(e + 1));
        auto* bl = new QVBoxLayout(box);
        elements_[e] = new QButtonGroup(this);
        for (int c = 0; c < 4; ++c) {
            auto* rb = new QRadioButton(QString::fromUtf8(kChoiceTexts[c]));
            rb->setObjectName(QStringLiteral("RB_Element%1_%2").arg(e + 1).arg(kCodes[c]));
            elements_[e]->addButton(rb, kCodes[c]);
            bl->addWidget(rb);
        }
        connect(elements_[e], &QButtonGroup::idClicked, this, [this] { updateExample(); });
        elementsRow->addWidget(box);
    }
    gl->addLayout(elementsRow, 2, 0, 1, 4);
    fl->addWidget(maskGroup_);

    fl->addWidget(new QLabel(QStringLiteral("Пример формирования имени файла по маске:")));
    example_ = new QLabel;
    example_->setObjectName("L_Example");
    QFont bold = example_->font();
    bold.setBold(true);
    example_->setFont(bold);
    fl->addWidget(example_);
    fl->addStretch(1);
    tabs_->addTab(files, QStringLiteral("Работа с файлами"));

    // Page "Связь с прибором".
    auto* link = new QWidget;
    link->setObjectName("Tab_Link");
    auto* ll = new QGridLayout(link);
    for (int i = 0; i < kLibraryFieldCount; ++i) {
        QLineEdit* e = makeDigitEdit(isSecondsField(static_cast<LibraryField>(i)) ? 6 : 9);
        e->setObjectName(kLibraryRows[i].name);
        e->setMaximumWidth(80);
        libraryFields_[i] = e;
        ll->addWidget(new ClickLabel(QString::fromUtf8(kLibraryRows[i].label), e), i, 0);
        ll->addWidget(e, i, 1);
        ll->addWidget(new QLabel(QString::fromUtf8(kLibraryRows[i].unit)), i, 2);
    }
    ports_ = new QLineEdit;
    ports_->setObjectName("E_Ports");
    ports_->setValidator(new CharsValidator(QStringLiteral("0123456789,"), ports_));
    ll->addWidget(new ClickLabel(QStringLiteral("Контролируемые порты"), ports_), kLibraryFieldCount, 0);
    ll->addWidget(ports_, kLibraryFieldCount, 1, 1, 2);
    auto* defaults = new QPushButton(QStringLiteral("По-умолчанию"));
    defaults->setObjectName("B_LinkDefault");
    ll->addWidget(defaults, kLibraryFieldCount + 1, 0, 1, 1, Qt::AlignLeft);
    ll->setRowStretch(kLibraryFieldCount + 2, 1);
    tabs_->addTab(link, QStringLiteral("Связь с прибором"));

    auto* apply = new QPushButton(QStringLiteral("Применить"));
    apply->setObjectName("B_Apply");
    auto* cancel = new QPushButton(QStringLiteral("Отказаться"));
    cancel->setObjectName("B_Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(tabs_);
    lay->addLayout(buttons);

    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &FormConfig::showLibraryDefaults);
    connect(browse, &QToolButton::clicked, this, &FormConfig::browseFolder);
    connect(modeNormal_, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    connect(maskMode_, &QCheckBox::toggled, this, [this] { updateEnabled(); });
}

void FormConfig::updateEnabled()
{
    const bool list = modeList_->isChecked();
    listPath_->setEnabled(list);
    listPathLabel_->setEnabled(list);
    browse_->setEnabled(list);
    maskGroup_->setEnabled(maskMode_->isChecked());
}

void FormConfig::fill(const LibrarySettings& library, const NamingSettings& naming)
{
    namingShown_ = naming;
    (naming.listMode ? modeList_ : modeNormal_)->setChecked(true);
    listPathLimit_->setText(naming.listPath);
    maskMode_->setChecked(naming.maskMode);
    prefix_->setText(naming.prefix);
    suffix_->setText(naming.suffix);
    delim1_->setText(naming.delim1);
    delim2_->setText(naming.delim2);
    const int codes[3] = {naming.ident1, naming.ident2, naming.ident3};
    for (int e = 0; e < 3; ++e)
        elements_[e]->button(elementOf(e + 1, codes[e]))->setChecked(true);
    for (int i = 0; i < kLibraryFieldCount; ++i)
        libraryFields_[i]->setText(libraryFieldText(library, static_cast<LibraryField>(i)));
    ports_->setText(portListText(library.ports));
    updateEnabled();
    updateExample();
}

int FormConfig::elementChoice(int element) const
{
    const int id = elements_[element - 1]->checkedId();
    return id < 0 ? elementOf(element, -1) : id;
}

QString FormConfig::exampleName() const
{
    return composeFileName(elementChoice(1), prefix_->text(), delim1_->text(), elementChoice(2),
                           QStringLiteral("AAAABBBBCCCC"), delim2_->text(), elementChoice(3),
                           suffix_->text());
}

void FormConfig::updateExample() { example_->setText(exampleName()); }

void FormConfig::showLibraryDefaults()
{
    const LibrarySettings defaults;
    for (int i = 0; i < kLibraryFieldCount; ++i)
        libraryFields_[i]->setText(libraryFieldText(defaults, static_cast<LibraryField>(i)));
    ports_->setText(portListText(defaults.ports));
}

void FormConfig::browseFolder()
{
    FormPathTree tree(this);
    tree.start(listPath_->text());
    if (tree.exec() == QDialog::Accepted)
        listPathLimit_->setText(tree.result());
    listPath_->setFocus(Qt::OtherFocusReason);
}

void FormConfig::takeOver(LibrarySettings& library, NamingSettings& naming) const
{
    naming.listMode = modeList_->isChecked();
    naming.listPath = withTrailingSeparator(listPath_->text());
    naming.maskMode = maskMode_->isChecked();
    naming.prefix = prefix_->text();
    naming.delim1 = delim1_->text();
    naming.delim2 = delim2_->text();
    naming.suffix = suffix_->text();
    naming.ident1 = elementChoice(1);
    naming.ident2 = elementChoice(2);
    naming.ident3 = elementChoice(3);
    for (int i = 0; i < kLibraryFieldCount; ++i)
        takeLibraryField(library, static_cast<LibraryField>(i), libraryFields_[i]->text());
    library.ports = portListFromText(ports_->text());
}

}  // namespace kl40
