// Request envelopes as a SOAP stack reads them: element names and order, xsi:type on every
// parameter, namespaces, the time with +08:00, and texts that always make well-formed XML.
#include "viewer/center/soap_envelope.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

namespace viewer {
namespace {

// The RPC wrapper element of an envelope, failing the test when the envelope is not XML.
pugi::xml_node Call(pugi::xml_document& doc, const std::string& envelope) {
  const pugi::xml_parse_result r = doc.load_string(envelope.c_str());
  EXPECT_TRUE(r) << r.description() << "\n" << envelope;
  return doc.child("soapenv:Envelope").child("soapenv:Body").first_child();
}

TEST(SoapEnvelope, RpcCallCarriesTypedParametersInOrder) {
  TSoapRequest request("checkPermission", "urn:perm");
  request.AddLong("_subjectId", -1234567890123);
  request.AddString("_subjectClassId", "-2");
  request.AddString("_tokenKey", "a<b>&\"c'");
  request.AddInt("_actionIndex", 14);
  const std::string envelope = request.Envelope();
  EXPECT_EQ(envelope.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << envelope;

  pugi::xml_document doc;
  const pugi::xml_node call = Call(doc, envelope);
  EXPECT_STREQ(call.name(), "ns1:checkPermission");
  EXPECT_STREQ(call.attribute("xmlns:ns1").value(), "urn:perm");
  EXPECT_STREQ(call.attribute("soapenv:encodingStyle").value(),
               "http://schemas.xmlsoap.org/soap/encoding/");
  EXPECT_STREQ(doc.document_element().attribute("xmlns:xsi").value(),
               "http://www.w3.org/2001/XMLSchema-instance");

  struct TParam {
    const char* Name;
    const char* Type;
    const char* Text;
  };
  const std::vector<TParam> expected = {{"_subjectId", "xsd:long", "-1234567890123"},
                                        {"_subjectClassId", "xsd:string", "-2"},
                                        {"_tokenKey", "xsd:string", "a<b>&\"c'"},
                                        {"_actionIndex", "xsd:int", "14"}};
  size_t i = 0;
  for (pugi::xml_node p = call.first_child(); p; p = p.next_sibling(), ++i) {
    ASSERT_LT(i, expected.size());
    EXPECT_STREQ(p.name(), expected[i].Name);
    EXPECT_STREQ(p.attribute("xsi:type").value(), expected[i].Type);
    EXPECT_STREQ(p.child_value(), expected[i].Text);
  }
  EXPECT_EQ(i, expected.size());
}

TEST(SoapEnvelope, ActionLogIsAnEncodedBeanWithEveryFieldTyped) {
  TActionLogRecord log;
  log.Level = 3;
  log.Operated = "dvrId:1234,channelCode:2";
  log.Operation = "抓图";
  log.Result = "成功";
  log.Src = "DVR";
  log.TypeOfOperated = "通道";
  log.Time = EncodeDateTime({2024, 12, 10, 8, 30, 5, 7});
  TSoapRequest request("logOfToken", "urn:log", "urn:arrays");
  request.AddString("_tokenKey", "tok");
  request.AddActionLog("_log", log);

  pugi::xml_document doc;
  const pugi::xml_node call = Call(doc, request.Envelope());
  const pugi::xml_node bean = call.child("_log");
  EXPECT_STREQ(bean.attribute("xsi:type").value(), "ns2:ActionLog");
  EXPECT_STREQ(bean.attribute("xmlns:ns2").value(), "urn:BeanService");
  EXPECT_STREQ(bean.attribute("xmlns:ns3").value(), "urn:arrays");

  struct TField {
    const char* Name;
    const char* Type;
    const char* Text;
  };
  const std::vector<TField> expected = {
      {"id", "xsd:long", "0"},
      {"level", "xsd:int", "3"},
      {"levelStr", "xsd:string", ""},
      {"operated", "xsd:string", "dvrId:1234,channelCode:2"},
      {"operation", "xsd:string", "抓图"},
      {"operator", "xsd:string", ""},
      {"orgIdPath", "xsd:string", ""},
      {"orgNamePath", "xsd:string", ""},
      {"person", "ns2:Person", ""},
      {"result", "xsd:string", "成功"},
      {"src", "xsd:string", "DVR"},
      {"time", "xsd:dateTime", "2024-12-10T08:30:05.007+08:00"},
      {"timeStr", "xsd:string", ""},
      {"typeOfOperated", "xsd:string", "通道"},
  };
  size_t i = 0;
  for (pugi::xml_node f = bean.first_child(); f; f = f.next_sibling(), ++i) {
    ASSERT_LT(i, expected.size());
    EXPECT_STREQ(f.name(), expected[i].Name);
    EXPECT_STREQ(f.attribute("xsi:type").value(), expected[i].Type) << f.name();
    EXPECT_STREQ(f.child_value(), expected[i].Text) << f.name();
  }
  EXPECT_EQ(i, expected.size());
  EXPECT_STREQ(bean.child("person").attribute("xsi:nil").value(), "true");
}

TEST(SoapEnvelope, TextsThatXmlCannotCarryAreReplaced) {
  const struct {
    std::string In;
    std::string Out;
  } cases[] = {
      {"plain 成功", "plain 成功"},
      {"tab\tnew\nline", "tab\tnew\nline"},
      {std::string("nul\0x", 5), "nul\xEF\xBF\xBDx"},
      {"\x01\x1F", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      // GBK bytes of 成功: the middle pair happens to be a valid UTF-8 character.
      {"\xB3\xC9\xB9\xA6", "\xEF\xBF\xBD\xC9\xB9\xEF\xBF\xBD"},
      {"cut \xE6\x88", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {"\xEF\xBF\xBE", "\xEF\xBF\xBD"},                          // U+FFFE
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlSafeText(c.In), c.Out);
    TSoapRequest request("op", "urn:x");
    request.AddString("_p", c.In);
    pugi::xml_document doc;
    EXPECT_EQ(Call(doc, request.Envelope()).child("_p").child_value(), c.Out);
  }
}

TEST(SoapEnvelope, TimeTextKeepsTheClockReadingWithTheCentersOffset) {
  EXPECT_EQ(CenterDateTimeText(EncodeDateTime({2026, 1, 2, 23, 59, 59, 999})),
            "2026-01-02T23:59:59.999+08:00");
  EXPECT_EQ(CenterDateTimeText(EncodeDateTime({1999, 12, 31, 0, 0, 0, 0})),
            "1999-12-31T00:00:00.000+08:00");
}

}  // namespace
}  // namespace viewer
