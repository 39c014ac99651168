// Typed values the pages pass on unchecked: actuator limits in the wrong
// order, a negative opening time, and a non-linearity table cell that is not
// a number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/ControllerForms.h"
#include "data/Errors.h"
#include "data/GlobalProcedures.h"

using namespace halvetra;

// A maximum below the minimum, or a negative opening time, is not refused:
// the clamp (above the maximum gives the maximum, else below the minimum the
// minimum) and the rate rule take the numbers as they are, and the result
// can lie outside both limits.
TEST(ActuatorLimits, WrongOrderAndNegativeOpeningTimeAreAppliedAsWritten) {
    EXPECT_EQ(Clamp(50, 0, 100), 0);
    EXPECT_EQ(Clamp(-5, 0, 100), 100);
    const std::vector<double> u{50, -5, 200};
    std::vector<double> out(3);
    ApplyActuatorConstraints(u, out, 3, 0, 100, 0, 1);  // rate = span = -100
    EXPECT_EQ(out, (std::vector<double>{0, 0, 200}));
    ApplyActuatorConstraints(u, out, 3, 100, 0, -10, 1);  // rate = 100 x 1 / -10
    EXPECT_EQ(out, (std::vector<double>{50, 60, 50}));
}

TEST(NonLinearityTable, ACellThatIsNotANumberEndsTheCalculation) {
    const std::vector<NLPointText> rows = {{"0", "0"}, {"1", "x"}, {"2", "4"}};
    try {
        MaxGainOfNL(rows, 0, 10, '.');
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), "'x' is not a valid floating point value");
    }
    const std::vector<NLPointText> comma = {{"0", "0"}, {"1,5", "3"}};
    EXPECT_THROW(MaxGainOfNL(comma, 0, 10, '.'), ConversionError);
}
