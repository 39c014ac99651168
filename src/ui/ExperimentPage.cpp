#include "ui/ExperimentPage.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace halvetra {

namespace {

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QLineEdit* edit(const char* name, const QString& text, QWidget* parent) {
    return named(new QLineEdit(text, parent), name);
}

QCheckBox* check(const char* name, const QString& caption, bool checked, QWidget* parent) {
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setChecked(checked);
    return box;
}

}  // namespace

ExperimentPage::ExperimentPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* kindBox = new QGroupBox("Experiment", this);
    auto* kindLayout = new QVBoxLayout(kindBox);
    RadioRocno = named(new QRadioButton("Manual experiment", kindBox), "RadioRocno");
    RadioAvtomatsko = named(new QRadioButton("Automatic experiment", kindBox), "RadioAvtomatsko");
    RadioAvtomatsko->setChecked(true);
    kindLayout->addWidget(RadioRocno);
    kindLayout->addWidget(RadioAvtomatsko);

    auto* settingsBox = new QGroupBox("Settings", this);
    auto* form = new QFormLayout(settingsBox);
    CasVzorcenjaEdit = edit("CasVzorcenjaEdit", "1", settingsBox);
    CheckBox_NePisi = check("CheckBox_NePisi", "Don't write to OPC", false, settingsBox);
    CheckBox_Zaprtozancni = check("CheckBox_Zaprtozancni", "Closed-loop during experiment", false, settingsBox);
    CheckBox_ZZPoPoizkusu = check("CheckBox_ZZPoPoizkusu", "Closed-loop after experiment", true, settingsBox);
    OhraniZacetniVhod = check("OhraniZacetniVhod", "Start from initial process input", false, settingsBox);
    ZacetniVhodEdit = edit("ZacetniVhodEdit", "0", settingsBox);
    CasCakanjaEdit = edit("CasCakanjaEdit", "0", settingsBox);
    VelikostStopniceEdit = edit("VelikostStopniceEdit", "0", settingsBox);
    CasStopniceEdit = edit("CasStopniceEdit", "0", settingsBox);
    SteviloStopnicEdit = edit("SteviloStopnicEdit", "1", settingsBox);
    CheckBox_ObeSmeri = check("CheckBox_ObeSmeri", "Steps in both directions", false, settingsBox);
    form->addRow("Sampling time: [s]", CasVzorcenjaEdit);
    form->addRow(CheckBox_NePisi);
    form->addRow(CheckBox_Zaprtozancni);
    form->addRow(CheckBox_ZZPoPoizkusu);
    form->addRow(OhraniZacetniVhod);
    form->addRow("Initial input: ", ZacetniVhodEdit);
    form->addRow("Waiting time: [s]", CasCakanjaEdit);
    form->addRow("Step amplitude:", VelikostStopniceEdit);
    form->addRow("Time of one step: [s]", CasStopniceEdit);
    form->addRow("Number of steps:", SteviloStopnicEdit);
    form->addRow(CheckBox_ObeSmeri);

    auto* startBox = new QGroupBox("Start of automatic experiment", this);
    auto* startForm = new QFormLayout(startBox);
    DateTimePicker1 = named(new QDateEdit(startBox), "DateTimePicker1");
    DateTimePicker1->setCalendarPopup(true);
    CajtZacetka = edit("CajtZacetka", "12:00:00", startBox);
    CajtZacetka->setInputMask("90:00:00;_");
    CajtZacetka->setText("12:00:00");
    Button1 = named(new QPushButton("Set current time", startBox), "Button1");
    Button10 = named(new QPushButton("Detailed settings of automatic experiment", startBox), "Button10");
    startForm->addRow("Date:", DateTimePicker1);
    startForm->addRow("Time:", CajtZacetka);
    startForm->addRow(Button1);
    startForm->addRow(Button10);

    auto* sliderBox = new QGroupBox("MV slider parametrers", this);
    auto* sliderForm = new QFormLayout(sliderBox);
    Edit_MVMax = edit("Edit_MVMax", "100", sliderBox);
    Edit_MVMin = edit("Edit_MVMin", "0", sliderBox);
    Edit_MVStep = edit("Edit_MVStep", "1", sliderBox);
    sliderForm->addRow("Max:", Edit_MVMax);
    sliderForm->addRow("Min:", Edit_MVMin);
    sliderForm->addRow("Step:", Edit_MVStep);

    auto* nlBox = new QGroupBox("Non-linearity between loops", this);
    auto* nlLayout = new QVBoxLayout(nlBox);
    CheckBox_Sekvencer = check("CheckBox_Sekvencer", "NL active", false, nlBox);
    StringGrid_Sekvencer = named(new QTableWidget(10, 2, nlBox), "StringGrid_Sekvencer");
    StringGrid_Sekvencer->setHorizontalHeaderLabels({"Input", "Output"});
    StringGrid_Sekvencer->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    StringGrid_Sekvencer->verticalHeader()->setDefaultSectionSize(20);
    nlLayout->addWidget(CheckBox_Sekvencer);
    nlLayout->addWidget(StringGrid_Sekvencer);

    AktivirajEksperiment = named(new QPushButton("Activation of experiment", this), "AktivirajEksperiment");
    NaloziNastavitve = named(new QPushButton("Load settings", this), "NaloziNastavitve");
    ShraniNastavitve = named(new QPushButton("Save settings", this), "ShraniNastavitve");

    auto* queueBox = new QGroupBox("Waiting experiments", this);
    auto* queueGrid = new QGridLayout(queueBox);
    SeznamCakajocihEkspCas = named(new QListWidget(queueBox), "SeznamCakajocihEkspCas");
    SeznamCakajocihEkspOznaka = named(new QListWidget(queueBox), "SeznamCakajocihEkspOznaka");
    queueGrid->addWidget(new QLabel("Time of experiment", queueBox), 0, 0);
    queueGrid->addWidget(new QLabel("Label of experiment", queueBox), 0, 1);
    queueGrid->addWidget(SeznamCakajocihEkspCas, 1, 0);
    queueGrid->addWidget(SeznamCakajocihEkspOznaka, 1, 1);

    auto* column1 = new QVBoxLayout;
    column1->addWidget(kindBox);
    column1->addWidget(settingsBox);
    column1->addStretch(1);
    auto* column2 = new QVBoxLayout;
    column2->addWidget(startBox);
    column2->addWidget(sliderBox);
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addWidget(NaloziNastavitve);
    fileButtons->addWidget(ShraniNastavitve);
    column2->addLayout(fileButtons);
    column2->addWidget(AktivirajEksperiment);
    column2->addStretch(1);
    auto* column3 = new QVBoxLayout;
    column3->addWidget(queueBox, 1);
    column3->addWidget(nlBox, 1);

    auto* page = new QHBoxLayout(this);
    page->addLayout(column1, 1);
    page->addLayout(column2, 1);
    page->addLayout(column3, 1);
}

}  // namespace halvetra
