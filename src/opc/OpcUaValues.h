#pragma once
// The value conversions of the plant connection, free of any connection so
// that they can be checked on their own: variants to numbers, numbers to the
// node's own data type, status codes to the 16-bit quality word, the server
// state text and the texts of rejected items.
#include <open62541/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halvetra::opcua {

// The quality word of a status code: 0xC0 for a Good code, 0x40 for an
// Uncertain one, 0x00 for a Bad one.
std::uint16_t QualityFromStatus(UA_StatusCode status);

// True exactly when (quality AND 0xC0) = 0xC0.
bool IsGoodQuality(std::uint16_t quality);

// A scalar Boolean, integer, Float or Double variant as a number (false for
// anything else: arrays, empty variants, texts).
bool VariantToDouble(const UA_Variant& value, double& out);

// True for the data types a number can be written to (Boolean, the integer
// types, Float and Double).
bool IsNumericType(const UA_DataType* type);

// A number as a scalar variant of the node's own data type. Integers are
// rounded to the nearest (ties to even) and must fit the type; a Boolean is
// true for any value but 0. On failure `error` gets the status text of the
// refusal ("BadOutOfRange", "BadTypeMismatch") and `out` stays empty.
bool NumberToVariant(double value, const UA_DataType* type, UA_Variant& out, std::string& error);

// A data change as an item keeps it: the quality of its status (Good when
// absent) and, when the value converts to a number, the value. A change
// without a usable number leaves the value and gives a bad quality.
void ApplyDataValue(const UA_DataValue& change, double& value, std::uint16_t& quality);

// "running", "failed", "no config", "suspended" or "test" for the states
// Running, Failed, NoConfiguration, Suspended and Test; empty for any other.
std::string ServerStateText(std::int32_t state);

// "Object", "Variable", "Method", "ObjectType", "VariableType",
// "ReferenceType", "DataType", "View"; empty for anything else.
std::string NodeClassText(UA_NodeClass nodeClass);

// The text of a status code, as the server names it ("BadNodeIdUnknown").
std::string StatusText(UA_StatusCode status);

// The error of items the server refused: "OPC Command:" followed by one line
// "<item>: <error text>" per item, at most 26 of them.
constexpr std::size_t MaxRejectedItemLines = 26;
std::string RejectedItemsText(const std::vector<std::pair<std::string, std::string>>& rejected);

// The error of a failed write: "Cannot write Items:" followed by the line
// "<item>: <error text>".
std::string WriteErrorText(const std::string& item, const std::string& error);

// A node identifier as text ("ns=1;s=Loop1.Y1", "i=85").
std::string NodeIdText(const UA_NodeId& id);

// Parses the text form of a node identifier; false when it is not one.
bool ParseNodeId(const std::string& text, UA_NodeId& out);

std::string ToStdString(const UA_String& text);

}  // namespace halvetra::opcua
