// The plant's simulation model: process blocks, actuator, controller, noise,
// and the cascade loop they make up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "plant/Actuator.h"
#include "plant/CascadeLoop.h"
#include "plant/DeadTimeLag.h"
#include "plant/GaussianNoise.h"
#include "plant/PidController.h"

using namespace halvetra::plant;

namespace {

CascadeLoopSettings quietSettings() {
    CascadeLoopSettings s;
    s.noiseSigma = 0.0;
    return s;
}

void run(CascadeLoop& loop, double seconds) {
    const int steps = static_cast<int>(std::lround(seconds / loop.settings().stepSeconds));
    for (int i = 0; i < steps; ++i) loop.step();
}

}  // namespace

TEST(DeadTimeLag, HoldsTheDeadTimeThenFollowsTheExactFirstOrderResponse) {
    DeadTimeLag lag(2.0, 1.0, 0.5, 0.1);
    ASSERT_EQ(lag.delaySteps(), 5u);
    lag.reset(0.0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(lag.step(1.0), 0.0) << "step " << i;
    double y = 0.0;
    for (int i = 0; i < 10; ++i) y = lag.step(1.0);
    // One time constant after the dead time: 1 - 1/e of the final value.
    EXPECT_NEAR(y, 2.0 * (1.0 - std::exp(-1.0)), 1e-12);
    for (int i = 0; i < 400; ++i) y = lag.step(1.0);
    EXPECT_NEAR(y, 2.0, 1e-12);
}

TEST(DeadTimeLag, ResetIsASteadyStateAndZeroDeadTimeActsAtOnce) {
    DeadTimeLag lag(1.5, 8.0, 2.0, 0.05);
    lag.reset(40.0);
    EXPECT_DOUBLE_EQ(lag.output(), 60.0);
    for (int i = 0; i < 100; ++i) EXPECT_NEAR(lag.step(40.0), 60.0, 1e-9);

    DeadTimeLag direct(1.0, 0.0, 0.0, 0.05);  // no lag, no delay: a pure gain
    direct.reset(0.0);
    EXPECT_EQ(direct.delaySteps(), 0u);
    EXPECT_DOUBLE_EQ(direct.step(3.0), 3.0);
    EXPECT_THROW(DeadTimeLag(1.0, 1.0, 1.0, 0.0), std::invalid_argument);
    EXPECT_THROW(DeadTimeLag(1.0, -1.0, 1.0, 0.1), std::invalid_argument);
}

TEST(Actuator, MovesAtMostOneFullStrokePerStrokeTimeAndStaysInRange) {
    Actuator valve(0.0, 100.0, 20.0, 0.05);  // 5 %/s, 0.25 % per step
    valve.reset(40.0);
    for (int i = 0; i < 40; ++i) valve.step(60.0);
    EXPECT_NEAR(valve.position(), 50.0, 1e-9);
    for (int i = 0; i < 40; ++i) valve.step(60.0);
    EXPECT_NEAR(valve.position(), 60.0, 1e-9);
    valve.step(60.0);
    EXPECT_NEAR(valve.position(), 60.0, 1e-9);  // no overshoot at the target

    for (int i = 0; i < 1000; ++i) valve.step(150.0);
    EXPECT_DOUBLE_EQ(valve.position(), 100.0);
    for (int i = 0; i < 1000; ++i) valve.step(-5.0);
    EXPECT_DOUBLE_EQ(valve.position(), 0.0);
    EXPECT_THROW(Actuator(10.0, 10.0, 20.0, 0.05), std::invalid_argument);
}

TEST(PidController, ProportionalIntegralAndDerivativeTermsInParallelForm) {
    PidController p(-100.0, 100.0, 0.1);
    p.setGains(2.0, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(p.update(10.0, 4.0), 12.0);

    PidController i(-100.0, 100.0, 0.1);
    i.setGains(0.0, 0.5, 0.0);
    double out = 0.0;
    for (int k = 0; k < 10; ++k) out = i.update(2.0, 0.0);  // Ki * e * t = 0.5 * 2 * 1 s
    EXPECT_NEAR(out, 1.0, 1e-12);

    PidController d(-100.0, 100.0, 0.1);
    d.setGains(0.0, 0.0, 1.0);
    double y = 0.0;
    for (int k = 0; k < 100; ++k) {
        out = d.update(0.0, y);
        y += 0.1;  // rising by 1 per second: D term -Kd dy/dt = -1
    }
    EXPECT_NEAR(out, -1.0, 1e-3);
    EXPECT_DOUBLE_EQ(d.derivative(), 1.0);
}

TEST(PidController, OutputLimitedAndIntegralDoesNotWindUp) {
    PidController c(0.0, 100.0, 0.1);
    c.setGains(0.0, 1.0, 0.0);
    for (int k = 0; k < 1000; ++k) EXPECT_LE(c.update(10.0, 0.0), 100.0);
    EXPECT_DOUBLE_EQ(c.output(), 100.0);
    // Without the windup the integral would stand at 1000 and keep the output
    // saturated for a long time after the error changes sign.
    EXPECT_LT(c.update(0.0, 1.0), 100.0);

    for (int k = 0; k < 1000; ++k) c.update(0.0, 10.0);
    EXPECT_DOUBLE_EQ(c.output(), 0.0);
    EXPECT_GT(c.update(1.0, 0.0), 0.0);
}

TEST(PidController, TrackingMakesTheSwitchToAutomaticBumpless) {
    PidController c(0.0, 100.0, 0.1);
    c.setGains(1.0, 0.1, 0.0);
    for (int k = 0; k < 50; ++k) c.track(37.0, 50.0, 45.0);
    EXPECT_DOUBLE_EQ(c.output(), 37.0);
    EXPECT_NEAR(c.update(50.0, 45.0), 37.0 + 0.1 * 5.0 * 0.1, 1e-12);

    // Aligning without a sample, after the gain changed in manual.
    c.setProportional(3.0);
    c.align(20.0, 50.0, 45.0);
    EXPECT_NEAR(c.update(50.0, 45.0), 20.0 + 0.1 * 5.0 * 0.1, 1e-12);
}

TEST(GaussianNoise, ZeroMeanGivenSigmaAndReproducibleFromItsSeed) {
    GaussianNoise noise(42);
    const int n = 200000;
    double sum = 0.0;
    double squares = 0.0;
    for (int k = 0; k < n; ++k) {
        const double x = noise.next(2.0);
        sum += x;
        squares += x * x;
    }
    const double mean = sum / n;
    const double sigma = std::sqrt(squares / n - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.03);
    EXPECT_NEAR(sigma, 2.0, 0.02);

    GaussianNoise a(7);
    GaussianNoise b(7);
    GaussianNoise c(8);
    bool differs = false;
    for (int k = 0; k < 10; ++k) {
        const double x = a.next(1.0);
        EXPECT_EQ(x, b.next(1.0));
        differs = differs || x != c.next(1.0);
    }
    EXPECT_TRUE(differs);
    EXPECT_EQ(a.next(0.0), 0.0);
}

TEST(CascadeLoop, StartsAtRestAtFortyPercentWithBothControllersInManual) {
    CascadeLoop loop(quietSettings());
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 40.0);
    EXPECT_DOUBLE_EQ(loop.processInput(), 40.0);
    EXPECT_DOUBLE_EQ(loop.innerMeasurement(), 60.0);  // 1.5 x 40
    EXPECT_DOUBLE_EQ(loop.outerMeasurement(), 48.0);  // 0.8 x 60
    EXPECT_DOUBLE_EQ(loop.setpoint(ControllerId::Inner), 60.0);
    EXPECT_DOUBLE_EQ(loop.setpoint(ControllerId::Outer), 48.0);
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Inner));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Outer));
    EXPECT_EQ(loop.gains(ControllerId::Inner).kp, 1.0);
    EXPECT_EQ(loop.gains(ControllerId::Inner).ki, 0.1);
    EXPECT_EQ(loop.gains(ControllerId::Inner).kd, 0.0);

    run(loop, 100.0);
    EXPECT_NEAR(loop.time(), 100.0, 1e-9);
    EXPECT_NEAR(loop.innerMeasurement(), 60.0, 1e-9);
    EXPECT_NEAR(loop.outerMeasurement(), 48.0, 1e-9);
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 40.0);
}

TEST(CascadeLoop, ManualStepGoesThroughActuatorDeadTimesAndGains) {
    CascadeLoop loop(quietSettings());
    ASSERT_TRUE(loop.setManipulatedValue(60.0));
    run(loop, 1.0);
    EXPECT_NEAR(loop.processInput(), 45.0, 1e-9);      // 5 %/s
    EXPECT_NEAR(loop.innerMeasurement(), 60.0, 1e-9);  // still inside the 2 s dead time
    run(loop, 1.0);
    EXPECT_NEAR(loop.innerMeasurement(), 60.0, 1e-9);
    run(loop, 0.5);
    EXPECT_GT(loop.innerMeasurement(), 60.0);
    EXPECT_NEAR(loop.outerMeasurement(), 48.0, 1e-9);  // plus 5 s more on the outer process
    run(loop, 1.5);
    EXPECT_NEAR(loop.processInput(), 60.0, 1e-9);
    run(loop, 300.0);
    EXPECT_NEAR(loop.innerMeasurement(), 90.0, 1e-3);
    EXPECT_NEAR(loop.outerMeasurement(), 72.0, 1e-3);
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 60.0);
}

TEST(CascadeLoop, ManipulatedSignalBeyondTheRangeSaturatesOnlyTheActuator) {
    CascadeLoop loop(quietSettings());
    ASSERT_TRUE(loop.setManipulatedValue(130.0));
    ASSERT_TRUE(loop.setSecondManipulatedValue(-20.0));
    run(loop, 30.0);
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 130.0);
    EXPECT_DOUBLE_EQ(loop.processInput(), 100.0);
    EXPECT_DOUBLE_EQ(loop.secondProcessInput(), 0.0);
}

TEST(CascadeLoop, InnerControllerInAutomaticBringsY1ToItsSetpoint) {
    CascadeLoop loop(quietSettings());
    loop.setAutomatic(ControllerId::Inner, true);
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Inner, 75.0));
    double peak = 0.0;
    for (int k = 0; k < 2400; ++k) {  // 120 s
        loop.step();
        peak = std::max(peak, loop.innerMeasurement());
    }
    EXPECT_NEAR(loop.innerMeasurement(), 75.0, 0.05);
    EXPECT_NEAR(loop.manipulatedValue(), 50.0, 0.05);
    EXPECT_LT(peak, 80.0);  // well damped with the default terms
}

TEST(CascadeLoop, ClientOwnsMV1InManualAndTheControllerInAutomatic) {
    CascadeLoop loop(quietSettings());
    EXPECT_TRUE(loop.setManipulatedValue(55.0));
    loop.setAutomatic(ControllerId::Inner, true);
    EXPECT_FALSE(loop.setManipulatedValue(10.0));
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 55.0);
    // Switched in the same step as the write: the controller starts from 55.
    loop.step();
    EXPECT_NEAR(loop.manipulatedValue(), 55.0, 0.01);

    run(loop, 5.0);
    const double automaticOutput = loop.manipulatedValue();
    loop.setAutomatic(ControllerId::Inner, false);
    loop.step();
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), automaticOutput);  // manual holds the last output
    EXPECT_TRUE(loop.setManipulatedValue(42.0));
}

TEST(CascadeLoop, InnerControllerRecoversFromSaturationWithoutWindup) {
    CascadeLoop loop(quietSettings());
    loop.setAutomatic(ControllerId::Inner, true);
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Inner, 200.0));  // beyond 1.5 x 100
    run(loop, 300.0);
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 100.0);
    EXPECT_NEAR(loop.innerMeasurement(), 150.0, 1e-3);
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Inner, 60.0));
    loop.step();
    EXPECT_LT(loop.manipulatedValue(), 50.0);
    run(loop, 150.0);
    EXPECT_NEAR(loop.innerMeasurement(), 60.0, 0.05);
}

TEST(CascadeLoop, ClosedCascadeBringsY2ToTheOuterSetpoint) {
    CascadeLoop loop(quietSettings());
    loop.setAutomatic(ControllerId::Inner, true);
    loop.setAutomatic(ControllerId::Outer, true);
    ASSERT_TRUE(loop.cascadeClosed());
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Outer, 56.0));
    EXPECT_FALSE(loop.setSetpoint(ControllerId::Inner, 10.0));  // owned by the outer controller
    run(loop, 500.0);
    EXPECT_NEAR(loop.outerMeasurement(), 56.0, 0.05);
    EXPECT_NEAR(loop.setpoint(ControllerId::Inner), 70.0, 0.1);
    EXPECT_NEAR(loop.innerMeasurement(), 70.0, 0.1);
}

// With the outer process a level: at rest it stays; a manual step of MV1
// makes it ramp at K times the inner output's change after both dead times,
// until the tank is full; the closed cascade with the level's gains holds a
// new level set point.
TEST(CascadeLoop, ALevelAsTheOuterProcessIntegratesTheInnerOutput) {
    CascadeLoopSettings s = quietSettings();
    makeOuterALevel(s);
    CascadeLoop loop(s);
    run(loop, 100.0);
    EXPECT_DOUBLE_EQ(loop.outerMeasurement(), 50.0);
    ASSERT_TRUE(loop.setManipulatedValue(44.0));  // Y1 60 -> 66
    run(loop, 6.9);
    EXPECT_DOUBLE_EQ(loop.outerMeasurement(), 50.0);  // 0.8 s actuator, 2 s and 5 s dead times
    run(loop, 200.0);
    const double before = loop.outerMeasurement();
    run(loop, 10.0);
    EXPECT_NEAR(loop.outerMeasurement() - before, 0.01 * 6.0 * 10.0, 1e-6);
    run(loop, 1000.0);
    EXPECT_DOUBLE_EQ(loop.outerMeasurement(), 100.0);

    CascadeLoop closed(s);
    closed.setAutomatic(ControllerId::Inner, true);
    closed.setAutomatic(ControllerId::Outer, true);
    ASSERT_TRUE(closed.setSetpoint(ControllerId::Outer, 60.0));
    run(closed, 1500.0);
    EXPECT_NEAR(closed.outerMeasurement(), 60.0, 0.05);
    EXPECT_NEAR(closed.innerMeasurement(), 60.0, 0.1);  // back at the outflow
}

TEST(CascadeLoop, OuterControllerWaitsForTheInnerOneAndTakesOverBumplessly) {
    CascadeLoop loop(quietSettings());
    loop.setAutomatic(ControllerId::Outer, true);
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Outer, 40.0));
    ASSERT_TRUE(loop.setSetpoint(ControllerId::Inner, 66.0));  // cascade open: still the client's
    run(loop, 20.0);
    EXPECT_FALSE(loop.cascadeClosed());
    EXPECT_DOUBLE_EQ(loop.setpoint(ControllerId::Inner), 66.0);

    loop.setAutomatic(ControllerId::Inner, true);
    loop.step();
    EXPECT_NEAR(loop.setpoint(ControllerId::Inner), 66.0, 0.1);
}

TEST(CascadeLoop, RefusesValuesThatAreNotFinite) {
    CascadeLoop loop(quietSettings());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(loop.setManipulatedValue(nan));
    EXPECT_FALSE(loop.setSecondManipulatedValue(inf));
    EXPECT_FALSE(loop.setSetpoint(ControllerId::Outer, nan));
    EXPECT_FALSE(loop.setProportional(ControllerId::Inner, inf));
    EXPECT_FALSE(loop.setIntegral(ControllerId::Outer, nan));
    EXPECT_FALSE(loop.setDerivative(ControllerId::Inner, -inf));
    EXPECT_DOUBLE_EQ(loop.manipulatedValue(), 40.0);
    EXPECT_EQ(loop.gains(ControllerId::Inner).kp, 1.0);

    EXPECT_TRUE(loop.setDerivative(ControllerId::Outer, 2.5));
    EXPECT_EQ(loop.gains(ControllerId::Outer).kd, 2.5);
    EXPECT_EQ(loop.gains(ControllerId::Inner).kd, 0.0);
}

TEST(CascadeLoop, NoiseIsOnTheMeasurementsOnly) {
    CascadeLoopSettings settings;
    settings.noiseSigma = 0.5;
    CascadeLoop loop(settings);
    double largest = 0.0;
    for (int k = 0; k < 200; ++k) {
        loop.step();
        largest = std::max(largest, std::abs(loop.innerMeasurement() - 60.0));
        EXPECT_DOUBLE_EQ(loop.innerOutput(), 60.0);
        EXPECT_DOUBLE_EQ(loop.outerOutput(), 48.0);
    }
    EXPECT_GT(largest, 0.5);
    EXPECT_LT(largest, 3.0);
}
