// The conversions of the plant connection: quality words, variants to
// numbers, numbers to the node's own type, the state and error texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "opc/OpcUaValues.h"

using namespace halvetra::opcua;

namespace {

template <typename T>
double FromScalar(T value, const UA_DataType* type) {
    UA_Variant v;
    UA_Variant_setScalar(&v, &value, type);
    double out = -12345.0;
    EXPECT_TRUE(VariantToDouble(v, out)) << type->typeName;
    return out;
}

// The number written to a node of `type`, read back as a double; NaN when refused.
double Converted(double value, const UA_DataType* type, std::string* error = nullptr) {
    UA_Variant v;
    std::string text;
    if (!NumberToVariant(value, type, v, text)) {
        if (error) *error = text;
        EXPECT_TRUE(UA_Variant_isEmpty(&v));
        return std::nan("");
    }
    EXPECT_EQ(v.type, type);
    double back = 0.0;
    EXPECT_TRUE(VariantToDouble(v, back));
    UA_Variant_clear(&v);
    return back;
}

}  // namespace

TEST(Quality, FollowsTheSeverityOfTheStatusAndIsGoodWithBothHighBits) {
    EXPECT_EQ(QualityFromStatus(UA_STATUSCODE_GOOD), 0xC0);
    EXPECT_EQ(QualityFromStatus(UA_STATUSCODE_GOODCLAMPED), 0xC0);
    EXPECT_EQ(QualityFromStatus(UA_STATUSCODE_UNCERTAININITIALVALUE), 0x40);
    EXPECT_EQ(QualityFromStatus(UA_STATUSCODE_BADNODEIDUNKNOWN), 0x00);
    EXPECT_EQ(QualityFromStatus(0xC0000000u), 0x00);  // the reserved severity counts as bad
    EXPECT_TRUE(IsGoodQuality(0xC0));
    EXPECT_TRUE(IsGoodQuality(0xD8));  // good with a substatus
    EXPECT_FALSE(IsGoodQuality(0x40));
    EXPECT_FALSE(IsGoodQuality(0x80));
    EXPECT_FALSE(IsGoodQuality(0x3F));
}

TEST(VariantToDouble, TakesEveryNumericScalar) {
    EXPECT_EQ(FromScalar<UA_Boolean>(true, &UA_TYPES[UA_TYPES_BOOLEAN]), 1.0);
    EXPECT_EQ(FromScalar<UA_SByte>(-128, &UA_TYPES[UA_TYPES_SBYTE]), -128.0);
    EXPECT_EQ(FromScalar<UA_Byte>(255, &UA_TYPES[UA_TYPES_BYTE]), 255.0);
    EXPECT_EQ(FromScalar<UA_UInt32>(4294967295u, &UA_TYPES[UA_TYPES_UINT32]), 4294967295.0);
    EXPECT_EQ(FromScalar<UA_Int64>(-(1LL << 40), &UA_TYPES[UA_TYPES_INT64]), -1099511627776.0);
    EXPECT_EQ(FromScalar<UA_UInt64>(1ULL << 63, &UA_TYPES[UA_TYPES_UINT64]), 9223372036854775808.0);
    EXPECT_EQ(FromScalar<UA_Float>(0.25f, &UA_TYPES[UA_TYPES_FLOAT]), 0.25);
    EXPECT_EQ(FromScalar<UA_Double>(-1.5e-300, &UA_TYPES[UA_TYPES_DOUBLE]), -1.5e-300);
}

TEST(VariantToDouble, RefusesWhatIsNoSingleNumber) {
    double out = 5.0;
    UA_Variant empty;
    UA_Variant_init(&empty);
    EXPECT_FALSE(VariantToDouble(empty, out));

    UA_String text = UA_STRING_STATIC("12");
    UA_Variant s;
    UA_Variant_setScalar(&s, &text, &UA_TYPES[UA_TYPES_STRING]);
    EXPECT_FALSE(VariantToDouble(s, out));

    UA_Double values[2] = {1.0, 2.0};
    UA_Variant array;
    UA_Variant_setArray(&array, values, 2, &UA_TYPES[UA_TYPES_DOUBLE]);
    EXPECT_FALSE(VariantToDouble(array, out));
    EXPECT_EQ(out, 5.0);
}

TEST(NumberToVariant, KeepsTheNodesOwnTypeRoundingIntegersTiesToEven) {
    const UA_DataType* int32 = &UA_TYPES[UA_TYPES_INT32];
    EXPECT_EQ(Converted(0.1, &UA_TYPES[UA_TYPES_DOUBLE]), 0.1);
    EXPECT_EQ(Converted(0.1, &UA_TYPES[UA_TYPES_FLOAT]), static_cast<double>(0.1f));
    EXPECT_EQ(Converted(0.0, &UA_TYPES[UA_TYPES_BOOLEAN]), 0.0);
    EXPECT_EQ(Converted(-0.5, &UA_TYPES[UA_TYPES_BOOLEAN]), 1.0);
    EXPECT_EQ(Converted(2.5, int32), 2.0);
    EXPECT_EQ(Converted(3.5, int32), 4.0);
    EXPECT_EQ(Converted(-2.5, int32), -2.0);
    EXPECT_EQ(Converted(-0.7, int32), -1.0);
    EXPECT_EQ(Converted(65535.4, &UA_TYPES[UA_TYPES_UINT16]), 65535.0);
}

TEST(NumberToVariant, RefusesNumbersOutsideTheIntegerRange) {
    std::string error;
    EXPECT_EQ(Converted(2147483647.0, &UA_TYPES[UA_TYPES_INT32]), 2147483647.0);
    EXPECT_EQ(Converted(-2147483648.0, &UA_TYPES[UA_TYPES_INT32]), -2147483648.0);
    EXPECT_TRUE(std::isnan(Converted(2147483648.0, &UA_TYPES[UA_TYPES_INT32], &error)));
    EXPECT_EQ(error, "BadOutOfRange");
    EXPECT_TRUE(std::isnan(Converted(65535.5, &UA_TYPES[UA_TYPES_UINT16])));  // rounds to 65536
    EXPECT_TRUE(std::isnan(Converted(-0.6, &UA_TYPES[UA_TYPES_UINT32])));
    EXPECT_EQ(Converted(-0.4, &UA_TYPES[UA_TYPES_UINT32]), 0.0);
    EXPECT_TRUE(std::isnan(Converted(256.0, &UA_TYPES[UA_TYPES_BYTE])));
    EXPECT_TRUE(std::isnan(Converted(9223372036854775808.0, &UA_TYPES[UA_TYPES_INT64])));
    EXPECT_EQ(Converted(-9223372036854775808.0, &UA_TYPES[UA_TYPES_INT64]), -9223372036854775808.0);
    EXPECT_EQ(Converted(9223372036854775808.0, &UA_TYPES[UA_TYPES_UINT64]), 9223372036854775808.0);
    EXPECT_TRUE(std::isnan(Converted(18446744073709551616.0, &UA_TYPES[UA_TYPES_UINT64])));
    EXPECT_TRUE(std::isnan(Converted(std::nan(""), &UA_TYPES[UA_TYPES_INT16])));
    EXPECT_TRUE(std::isnan(Converted(std::numeric_limits<double>::infinity(), &UA_TYPES[UA_TYPES_INT64])));
    EXPECT_TRUE(std::isnan(Converted(1e39, &UA_TYPES[UA_TYPES_FLOAT])));
}

TEST(NumberToVariant, RefusesTypesThatTakeNoNumber) {
    std::string error;
    EXPECT_TRUE(std::isnan(Converted(1.0, &UA_TYPES[UA_TYPES_STRING], &error)));
    EXPECT_EQ(error, "BadTypeMismatch");
    error.clear();
    EXPECT_TRUE(std::isnan(Converted(1.0, nullptr, &error)));
    EXPECT_EQ(error, "BadTypeMismatch");
    EXPECT_FALSE(IsNumericType(&UA_TYPES[UA_TYPES_DATETIME]));
}

TEST(ApplyDataValue, KeepsTheNumberAndTheQualityOfTheStatus) {
    double value = 1.0;
    std::uint16_t quality = 0;
    UA_DataValue change;
    UA_DataValue_init(&change);
    UA_Double number = 2.5;
    UA_Variant_setScalar(&change.value, &number, &UA_TYPES[UA_TYPES_DOUBLE]);
    change.hasValue = true;
    ApplyDataValue(change, value, quality);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(quality, 0xC0);  // no status: good

    number = 3.0;
    change.hasStatus = true;
    change.status = UA_STATUSCODE_UNCERTAINSENSORNOTACCURATE;
    ApplyDataValue(change, value, quality);
    EXPECT_EQ(value, 3.0);
    EXPECT_EQ(quality, 0x40);

    number = 4.0;
    change.status = UA_STATUSCODE_BADSENSORFAILURE;
    ApplyDataValue(change, value, quality);
    EXPECT_EQ(value, 4.0);
    EXPECT_EQ(quality, 0x00);
}

TEST(ApplyDataValue, WithoutANumberTheValueStaysAndTheQualityIsBad) {
    double value = 7.0;
    std::uint16_t quality = 0xC0;
    UA_DataValue change;
    UA_DataValue_init(&change);
    ApplyDataValue(change, value, quality);
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(quality, 0x00);

    quality = 0xC0;
    UA_String text = UA_STRING_STATIC("high");
    UA_Variant_setScalar(&change.value, &text, &UA_TYPES[UA_TYPES_STRING]);
    change.hasValue = true;
    ApplyDataValue(change, value, quality);
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(quality, 0x00);
}

TEST(Texts, ServerStatesAndNodeClasses) {
    EXPECT_EQ(ServerStateText(UA_SERVERSTATE_RUNNING), "running");
    EXPECT_EQ(ServerStateText(UA_SERVERSTATE_FAILED), "failed");
    EXPECT_EQ(ServerStateText(UA_SERVERSTATE_NOCONFIGURATION), "no config");
    EXPECT_EQ(ServerStateText(UA_SERVERSTATE_SUSPENDED), "suspended");
    EXPECT_EQ(ServerStateText(UA_SERVERSTATE_TEST), "test");
    for (int other :
         {-1, static_cast<int>(UA_SERVERSTATE_SHUTDOWN), static_cast<int>(UA_SERVERSTATE_COMMUNICATIONFAULT),
          static_cast<int>(UA_SERVERSTATE_UNKNOWN), 99})
        EXPECT_EQ(ServerStateText(other), "") << other;
    EXPECT_EQ(NodeClassText(UA_NODECLASS_OBJECT), "Object");
    EXPECT_EQ(NodeClassText(UA_NODECLASS_VARIABLE), "Variable");
    EXPECT_EQ(NodeClassText(UA_NODECLASS_UNSPECIFIED), "");
}

TEST(Texts, RejectedItemsOneLineEachAtMost26AndFailedWrites) {
    EXPECT_EQ(RejectedItemsText({{"ns=1;s=A", "BadNodeIdUnknown"}}), "OPC Command:\nns=1;s=A: BadNodeIdUnknown");
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 30; ++i) many.emplace_back("ns=1;i=" + std::to_string(i), "BadNodeIdUnknown");
    const std::string text = RejectedItemsText(many);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 26);
    EXPECT_NE(text.find("ns=1;i=25: "), std::string::npos);
    EXPECT_EQ(text.find("ns=1;i=26: "), std::string::npos);
    EXPECT_EQ(text.rfind("OPC Command:", 0), 0u);
    EXPECT_EQ(WriteErrorText("ns=1;s=Loop1.U1", "BadNotWritable"),
              "Cannot write Items:\nns=1;s=Loop1.U1: BadNotWritable");
}

TEST(NodeIds, RoundTripThroughTheirTextAndRefuseOtherText) {
    for (const char* text : {"ns=1;s=Loop1.Y1", "i=85", "ns=1;g=09087e75-8e5e-499b-954f-f2a9603db28a", "ns=3;b=AQID"}) {
        UA_NodeId id;
        ASSERT_TRUE(ParseNodeId(text, id)) << text;
        EXPECT_EQ(NodeIdText(id), text);
        UA_NodeId_clear(&id);
    }
    for (const char* text : {"", "ns=1;x=3", "ns=1;i=abc"}) {
        UA_NodeId id;
        EXPECT_FALSE(ParseNodeId(text, id)) << text;
        EXPECT_TRUE(UA_NodeId_isNull(&id));
    }
}
