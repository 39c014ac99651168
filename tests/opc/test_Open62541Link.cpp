// The plant-access library links and loads with its own crypto libraries:
// a node identifier survives the trip through its text form.
#include <gtest/gtest.h>
#include <open62541/types.h>
#include <open62541/util.h>

TEST(Open62541Link, NodeIdTextRoundTrip) {
    UA_NodeId id;
    ASSERT_EQ(UA_NodeId_parse(&id, UA_STRING_STATIC("ns=1;s=Loop1.Y1")), UA_STATUSCODE_GOOD);
    EXPECT_EQ(id.namespaceIndex, 1);
    ASSERT_EQ(id.identifierType, UA_NODEIDTYPE_STRING);
    UA_String text = UA_STRING_NULL;
    ASSERT_EQ(UA_NodeId_print(&id, &text), UA_STATUSCODE_GOOD);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text.data), text.length), "ns=1;s=Loop1.Y1");
    UA_String_clear(&text);
    UA_NodeId_clear(&id);
}
