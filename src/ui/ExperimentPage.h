#pragma once
// The Experiment page: kind and parameters of an experiment, the start of an
// automatic one and the queue of waiting experiments.
#include <QWidget>

#include "ui/PageContext.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace halvetra {

class ExperimentPage : public QWidget {
    Q_OBJECT
public:
    ExperimentPage(PageContext context, QWidget* parent = nullptr);

    QRadioButton* RadioRocno;
    QRadioButton* RadioAvtomatsko;
    QLineEdit* CasVzorcenjaEdit;
    QCheckBox* CheckBox_NePisi;
    QCheckBox* CheckBox_Zaprtozancni;
    QCheckBox* CheckBox_ZZPoPoizkusu;
    QCheckBox* OhraniZacetniVhod;
    QLineEdit* ZacetniVhodEdit;
    QLineEdit* CasCakanjaEdit;
    QLineEdit* VelikostStopniceEdit;
    QLineEdit* CasStopniceEdit;
    QLineEdit* SteviloStopnicEdit;
    QCheckBox* CheckBox_ObeSmeri;
    QDateEdit* DateTimePicker1;
    QLineEdit* CajtZacetka;
    QPushButton* Button1;
    QPushButton* Button10;
    QPushButton* AktivirajEksperiment;
    QListWidget* SeznamCakajocihEkspCas;
    QListWidget* SeznamCakajocihEkspOznaka;
    QLineEdit* Edit_MVMax;
    QLineEdit* Edit_MVMin;
    QLineEdit* Edit_MVStep;
    QCheckBox* CheckBox_Sekvencer;
    QTableWidget* StringGrid_Sekvencer;
    QPushButton* NaloziNastavitve;
    QPushButton* ShraniNastavitve;

private:
    PageContext ctx_;
};

}  // namespace halvetra
