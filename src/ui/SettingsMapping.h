#pragma once
// Between the experiment settings (what a .hvx file holds) and the controls
// that show them: the OPC page, the Experiment page and the automatic-
// experiment settings window. Setting the controls works as the user would:
// the change handlers of the controls run where a value changes, and the M/A
// enabling rules of the OPC page are applied afterwards.
//
// And the copy of the automatic-experiment settings into the Data, Model,
// Controller and Report pages when an automatic experiment starts.
#include "settings/ExperimentSettings.h"

namespace halvetra {

class ControllerPage;
class DataPage;
class ExperimentPage;
class ModelPage;
class OpcPage;
class ReportPage;
class TForm_SamodNastav;

// The settings as the controls hold them. Without a settings window the
// automatic part keeps its start-up values.
ExperimentSettings ReadSettingsControls(const OpcPage& opc, const ExperimentPage& experiment,
                                        const TForm_SamodNastav* automatic);

// Puts the settings into the controls, then applies the OPC page's M/A rules.
void WriteSettingsControls(const ExperimentSettings& settings, OpcPage& opc, ExperimentPage& experiment,
                           TForm_SamodNastav* automatic);

// The automatic-experiment settings into the main window's controls: cascade
// into "Outer process" and the Controller page's cascade box, filter and
// actuator into the Data page, tuning method, closed-loop sampling time,
// robustness, response type, controller form, scaling and controller type
// into the Controller page, the report parts into the Report page. The caller
// marks the copy with ApplyingAutomaticSettings so that the pages' guarded
// handlers do not recalculate.
void CopyAutomaticSettings(const AutomaticExperimentSettings& settings, DataPage& data, ModelPage& model,
                           ControllerPage& controller, ReportPage& report);

}  // namespace halvetra
