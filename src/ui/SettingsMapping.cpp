#include "ui/RadioItems.h"
#include "ui/SettingsMapping.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>

#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"
#include "ui/ReportPage.h"
#include "ui/SignalRole.h"
#include "ui/TForm_SamodNastav.h"

namespace halvetra {

namespace {

std::string text(const QLineEdit* box) { return box->text().toStdString(); }
void setText(QLineEdit* box, const std::string& value) { box->setText(QString::fromStdString(value)); }

std::string cellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

void setCellText(QTableWidget* table, int row, int column, const std::string& value) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) table->setItem(row, column, item = new QTableWidgetItem);
    item->setText(QString::fromStdString(value));
}

}  // namespace

ExperimentSettings ReadSettingsControls(const OpcPage& opc, const ExperimentPage& e,
                                        const TForm_SamodNastav* automatic) {
    ExperimentSettings s;
    const int server = opc.ComboBox2->currentIndex();
    s.ComboBox2 = server >= 0 ? opc.ComboBox2->itemText(server).toStdString() : std::string();
    for (SignalRole role : AllSignalRoles) {
        const int row = SignalRow(role);
        s.OPCTabela[row][0] = opc.ItemId(role);
        s.OPCTabela[row][1] = opc.Description(role);
    }
    s.RadioGroup4 = opc.radioGroup4Items->checkedId();
    s.ComboBox3 = opc.ComboBox3->currentIndex();
    s.RadioGroup5 = opc.radioGroup5Items->checkedId();
    s.ComboBox4 = opc.ComboBox4->currentIndex();

    s.CasVzorcenjaEdit = text(e.CasVzorcenjaEdit);
    s.OhraniZacetniVhod = e.OhraniZacetniVhod->isChecked();
    s.ZacetniVhodEdit = text(e.ZacetniVhodEdit);
    s.CasCakanjaEdit = text(e.CasCakanjaEdit);
    s.VelikostStopniceEdit = text(e.VelikostStopniceEdit);
    s.CasStopniceEdit = text(e.CasStopniceEdit);
    s.SteviloStopnicEdit = text(e.SteviloStopnicEdit);
    s.CheckBox_ObeSmeri = e.CheckBox_ObeSmeri->isChecked();
    s.CheckBox_Zaprtozancni = e.CheckBox_Zaprtozancni->isChecked();
    s.CheckBox_NePisi = e.CheckBox_NePisi->isChecked();
    s.RadioRocno = e.RadioRocno->isChecked();
    s.Edit_MVMax = text(e.Edit_MVMax);
    s.Edit_MVMin = text(e.Edit_MVMin);
    s.Edit_MVStep = text(e.Edit_MVStep);
    s.CajtZacetka = text(e.CajtZacetka);
    s.CheckBox_ZZPoPoizkusu = e.CheckBox_ZZPoPoizkusu->isChecked();
    s.CheckBox_Sekvencer = e.CheckBox_Sekvencer->isChecked();
    for (int point = 0; point < NonLinearityPoints; ++point)
        for (int column = 0; column < 2; ++column)
            s.StringGrid_Sekvencer[point][column] = cellText(e.StringGrid_Sekvencer, point, column);

    if (automatic) s.Automatic = automatic->Values();
    return s;
}

void WriteSettingsControls(const ExperimentSettings& s, OpcPage& opc, ExperimentPage& e, TForm_SamodNastav* automatic) {
    // A server that is not in the list selects none.
    opc.ComboBox2->setCurrentIndex(opc.ComboBox2->findText(QString::fromStdString(s.ComboBox2)));
    for (SignalRole role : AllSignalRoles) {
        const int row = SignalRow(role);
        opc.SetItemId(role, s.OPCTabela[row][0]);
        opc.SetDescription(role, s.OPCTabela[row][1]);
    }
    SetItemIndex(opc.radioGroup4Items, s.RadioGroup4);
    opc.ComboBox3->setCurrentIndex(s.ComboBox3);
    SetItemIndex(opc.radioGroup5Items, s.RadioGroup5);
    opc.ComboBox4->setCurrentIndex(s.ComboBox4);

    setText(e.CasVzorcenjaEdit, s.CasVzorcenjaEdit);
    e.OhraniZacetniVhod->setChecked(s.OhraniZacetniVhod);
    setText(e.ZacetniVhodEdit, s.ZacetniVhodEdit);
    setText(e.CasCakanjaEdit, s.CasCakanjaEdit);
    setText(e.VelikostStopniceEdit, s.VelikostStopniceEdit);
    setText(e.CasStopniceEdit, s.CasStopniceEdit);
    setText(e.SteviloStopnicEdit, s.SteviloStopnicEdit);
    e.CheckBox_ObeSmeri->setChecked(s.CheckBox_ObeSmeri);
    e.CheckBox_Zaprtozancni->setChecked(s.CheckBox_Zaprtozancni);
    e.CheckBox_NePisi->setChecked(s.CheckBox_NePisi);
    (s.RadioRocno ? e.RadioRocno : e.RadioAvtomatsko)->setChecked(true);
    setText(e.Edit_MVMax, s.Edit_MVMax);
    setText(e.Edit_MVMin, s.Edit_MVMin);
    setText(e.Edit_MVStep, s.Edit_MVStep);
    setText(e.CajtZacetka, s.CajtZacetka);
    e.CheckBox_ZZPoPoizkusu->setChecked(s.CheckBox_ZZPoPoizkusu);
    e.CheckBox_Sekvencer->setChecked(s.CheckBox_Sekvencer);
    for (int point = 0; point < NonLinearityPoints; ++point)
        for (int column = 0; column < 2; ++column)
            setCellText(e.StringGrid_Sekvencer, point, column, s.StringGrid_Sekvencer[point][column]);

    if (automatic) automatic->SetValues(s.Automatic);

    opc.RadioGroup4Click();
    opc.RadioGroup5Click();
}

void CopyAutomaticSettings(const AutomaticExperimentSettings& s, DataPage& data, ModelPage& model,
                           ControllerPage& controller, ReportPage& report) {
    model.CheckBox_Model_Outer->setChecked(s.CheckBox_Sam_Cascade);
    controller.CheckBox_CascadeReg->setChecked(s.CheckBox_Sam_Cascade);
    setText(data.Edit8, s.Edit_Sam_Filt);
    setText(data.Edit_Actuator_Maximum, s.Edit_Sam_Max);
    setText(data.Edit_Actuator_Minimum, s.Edit_Sam_Min);
    setText(data.Edit_Actuator_Velocity, s.Edit_Sam_Velocity);
    controller.ComboBox1->setCurrentIndex(s.ComboBox_Sam_IzbMetode);
    setText(controller.Edit_Vzorcenje, s.Edit_Sam_Ts);
    controller.ScrollBar_Robust->setValue(s.ScrollBar_Sam_Robust);
    SetItemIndex(controller.motnjaItems, s.RadioGroup_Sam_Prikaz);
    controller.ComboBox_Regulator->setCurrentIndex(s.ComboBox_Sam_TipReg);
    setText(controller.Edit_Reg_ScaleP, s.Edit_Sam_SkalP);
    setText(controller.Edit_Reg_ScaleI, s.Edit_Sam_SkalI);
    setText(controller.Edit_Reg_ScaleD, s.Edit_Sam_SkalD);
    SetItemIndex(controller.izbiraTipaRegItems, s.RadioGroup_Sam_PID);
    report.CheckBox1->setChecked(s.CheckBox_Sam_PorocObd);
    report.CheckBox2->setChecked(s.CheckBox_Sam_PorocMod);
    report.CheckBox3->setChecked(s.CheckBox_Sam_PorocReg);
}

}  // namespace halvetra
