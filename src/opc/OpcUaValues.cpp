#include "opc/OpcUaValues.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace halvetra::opcua {

std::uint16_t QualityFromStatus(UA_StatusCode status) {
    // The two severity bits: 00 Good, 01 Uncertain, 10 and 11 Bad.
    switch (status >> 30) {
    case 0: return 0xC0;
    case 1: return 0x40;
    default: return 0x00;
    }
}

bool IsGoodQuality(std::uint16_t quality) { return (quality & 0xC0) == 0xC0; }

bool VariantToDouble(const UA_Variant& value, double& out) {
    if (!UA_Variant_isScalar(&value) || value.data == nullptr) return false;
    const void* p = value.data;
    switch (value.type->typeKind) {
    case UA_DATATYPEKIND_BOOLEAN: out = *static_cast<const UA_Boolean*>(p) ? 1.0 : 0.0; return true;
    case UA_DATATYPEKIND_SBYTE: out = *static_cast<const UA_SByte*>(p); return true;
    case UA_DATATYPEKIND_BYTE: out = *static_cast<const UA_Byte*>(p); return true;
    case UA_DATATYPEKIND_INT16: out = *static_cast<const UA_Int16*>(p); return true;
    case UA_DATATYPEKIND_UINT16: out = *static_cast<const UA_UInt16*>(p); return true;
    case UA_DATATYPEKIND_INT32: out = *static_cast<const UA_Int32*>(p); return true;
    case UA_DATATYPEKIND_UINT32: out = *static_cast<const UA_UInt32*>(p); return true;
    case UA_DATATYPEKIND_INT64: out = static_cast<double>(*static_cast<const UA_Int64*>(p)); return true;
    case UA_DATATYPEKIND_UINT64: out = static_cast<double>(*static_cast<const UA_UInt64*>(p)); return true;
    case UA_DATATYPEKIND_FLOAT: out = *static_cast<const UA_Float*>(p); return true;
    case UA_DATATYPEKIND_DOUBLE: out = *static_cast<const UA_Double*>(p); return true;
    case UA_DATATYPEKIND_ENUM: out = *static_cast<const UA_Int32*>(p); return true;
    default: return false;
    }
}

bool IsNumericType(const UA_DataType* type) {
    if (type == nullptr) return false;
    switch (type->typeKind) {
    case UA_DATATYPEKIND_BOOLEAN:
    case UA_DATATYPEKIND_SBYTE:
    case UA_DATATYPEKIND_BYTE:
    case UA_DATATYPEKIND_INT16:
    case UA_DATATYPEKIND_UINT16:
    case UA_DATATYPEKIND_INT32:
    case UA_DATATYPEKIND_UINT32:
    case UA_DATATYPEKIND_INT64:
    case UA_DATATYPEKIND_UINT64:
    case UA_DATATYPEKIND_FLOAT:
    case UA_DATATYPEKIND_DOUBLE: return true;
    default: return false;
    }
}

namespace {

// The rounded value as integer type T, when it fits.
template <typename T>
bool RoundInto(double value, T& out) {
    if (!std::isfinite(value)) return false;
    const double rounded = std::nearbyint(value);
    // The bounds as doubles: the lower one is exact (a power of two or 0);
    // the upper one is exclusive at the next power of two.
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double highExclusive = (static_cast<double>(std::numeric_limits<T>::max() / 2) + 1.0) * 2.0;
    if (rounded < low || rounded >= highExclusive) return false;
    out = static_cast<T>(rounded);
    return true;
}

template <typename T>
bool SetInteger(double value, const UA_DataType* type, UA_Variant& out, std::string& error) {
    T number{};
    if (!RoundInto(value, number)) {
        error = "BadOutOfRange";
        return false;
    }
    return UA_Variant_setScalarCopy(&out, &number, type) == UA_STATUSCODE_GOOD;
}

}  // namespace

bool NumberToVariant(double value, const UA_DataType* type, UA_Variant& out, std::string& error) {
    UA_Variant_init(&out);
    if (!IsNumericType(type)) {
        error = "BadTypeMismatch";
        return false;
    }
    switch (type->typeKind) {
    case UA_DATATYPEKIND_BOOLEAN: {
        if (std::isnan(value)) {
            error = "BadOutOfRange";
            return false;
        }
        const UA_Boolean flag = value != 0.0;
        return UA_Variant_setScalarCopy(&out, &flag, type) == UA_STATUSCODE_GOOD;
    }
    case UA_DATATYPEKIND_SBYTE: return SetInteger<UA_SByte>(value, type, out, error);
    case UA_DATATYPEKIND_BYTE: return SetInteger<UA_Byte>(value, type, out, error);
    case UA_DATATYPEKIND_INT16: return SetInteger<UA_Int16>(value, type, out, error);
    case UA_DATATYPEKIND_UINT16: return SetInteger<UA_UInt16>(value, type, out, error);
    case UA_DATATYPEKIND_INT32: return SetInteger<UA_Int32>(value, type, out, error);
    case UA_DATATYPEKIND_UINT32: return SetInteger<UA_UInt32>(value, type, out, error);
    case UA_DATATYPEKIND_INT64: return SetInteger<UA_Int64>(value, type, out, error);
    case UA_DATATYPEKIND_UINT64: return SetInteger<UA_UInt64>(value, type, out, error);
    case UA_DATATYPEKIND_FLOAT: {
        if (std::isfinite(value) && std::fabs(value) > FLT_MAX) {
            error = "BadOutOfRange";
            return false;
        }
        const UA_Float number = static_cast<UA_Float>(value);
        return UA_Variant_setScalarCopy(&out, &number, type) == UA_STATUSCODE_GOOD;
    }
    default: {
        const UA_Double number = value;
        return UA_Variant_setScalarCopy(&out, &number, type) == UA_STATUSCODE_GOOD;
    }
    }
}

void ApplyDataValue(const UA_DataValue& change, double& value, std::uint16_t& quality) {
    quality = QualityFromStatus(change.hasStatus ? change.status : UA_STATUSCODE_GOOD);
    double number = 0.0;
    if (change.hasValue && VariantToDouble(change.value, number)) {
        value = number;
    } else {
        quality = 0x00;
    }
}

std::string ServerStateText(std::int32_t state) {
    switch (state) {
    case UA_SERVERSTATE_RUNNING: return "running";
    case UA_SERVERSTATE_FAILED: return "failed";
    case UA_SERVERSTATE_NOCONFIGURATION: return "no config";
    case UA_SERVERSTATE_SUSPENDED: return "suspended";
    case UA_SERVERSTATE_TEST: return "test";
    default: return "";
    }
}

std::string NodeClassText(UA_NodeClass nodeClass) {
    switch (nodeClass) {
    case UA_NODECLASS_OBJECT: return "Object";
    case UA_NODECLASS_VARIABLE: return "Variable";
    case UA_NODECLASS_METHOD: return "Method";
    case UA_NODECLASS_OBJECTTYPE: return "ObjectType";
    case UA_NODECLASS_VARIABLETYPE: return "VariableType";
    case UA_NODECLASS_REFERENCETYPE: return "ReferenceType";
    case UA_NODECLASS_DATATYPE: return "DataType";
    case UA_NODECLASS_VIEW: return "View";
    default: return "";
    }
}

std::string StatusText(UA_StatusCode status) { return UA_StatusCode_name(status); }

std::string RejectedItemsText(const std::vector<std::pair<std::string, std::string>>& rejected) {
    std::string text = "OPC Command:";
    for (std::size_t i = 0; i < rejected.size() && i < MaxRejectedItemLines; ++i)
        text += "\n" + rejected[i].first + ": " + rejected[i].second;
    return text;
}

std::string WriteErrorText(const std::string& item, const std::string& error) {
    return "Cannot write Items:\n" + item + ": " + error;
}

std::string ToStdString(const UA_String& text) {
    if (text.data == nullptr || text.length == 0) return {};
    return std::string(reinterpret_cast<const char*>(text.data), text.length);
}

std::string NodeIdText(const UA_NodeId& id) {
    UA_String text = UA_STRING_NULL;
    if (UA_NodeId_print(&id, &text) != UA_STATUSCODE_GOOD) return {};
    std::string result = ToStdString(text);
    UA_String_clear(&text);
    return result;
}

bool ParseNodeId(const std::string& text, UA_NodeId& out) {
    UA_NodeId_init(&out);
    if (text.empty()) return false;
    UA_String source;
    source.length = text.size();
    source.data = reinterpret_cast<UA_Byte*>(const_cast<char*>(text.data()));
    if (UA_NodeId_parse(&out, source) != UA_STATUSCODE_GOOD) {
        UA_NodeId_init(&out);
        return false;
    }
    return true;
}

}  // namespace halvetra::opcua
