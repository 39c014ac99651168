// Reading a report template: lengths, page layout, body font, header and footer.
#include <gtest/gtest.h>

#include "data/Errors.h"
#include "report/ReportTemplate.h"
#include "report/ZipPackage.h"

using namespace halvetra;

namespace {

TEST(OdfLength, Units) {
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"2cm"), 20.0);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"20mm"), 20.0);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"1in"), 25.4);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"72pt"), 25.4);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"6pc"), 25.4);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u"96px"), 25.4);
    EXPECT_DOUBLE_EQ(*OdfLengthToMm(u" -0.5cm "), -5.0);
    for (const char16_t* bad : {u"2", u"2em", u"cm", u""}) EXPECT_FALSE(OdfLengthToMm(bad));
}

QByteArray Package(const QByteArray& styles, const char* mimetype = "application/vnd.oasis.opendocument.text") {
    return WriteZip({{"mimetype", mimetype, true},
                     {"styles.xml", styles, false},
                     {"Pictures/a.png", "png", false},
                     {"Pictures/b.png", "unused", false}});
}

const QByteArray Styles = R"(<?xml version="1.0" encoding="UTF-8"?>
<o:document-styles xmlns:o="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:s="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:t="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:f="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:l="http://www.w3.org/1999/xlink" o:version="1.3">
 <o:font-face-decls><s:font-face s:name="Body Face" svg:font-family="'Some Serif'"/></o:font-face-decls>
 <o:styles>
  <s:default-style s:family="paragraph"><s:text-properties s:font-name="Body Face" f:font-size="11pt"/></s:default-style>
  <s:style s:name="Standard" s:family="paragraph"/>
  <s:style s:name="Header" s:family="paragraph" s:parent-style-name="Standard">
   <s:paragraph-properties f:text-align="center"/><s:text-properties f:font-size="80%" f:font-weight="bold"/>
  </s:style>
 </o:styles>
 <o:automatic-styles>
  <s:page-layout s:name="unused"><s:page-layout-properties f:page-width="10cm" f:page-height="10cm"/></s:page-layout>
  <s:page-layout s:name="pm1">
   <s:page-layout-properties f:page-width="29.7cm" f:page-height="21cm" f:margin="1cm" f:margin-left="3cm"/>
   <s:header-style><s:header-footer-properties f:margin-bottom="4mm"/></s:header-style>
   <s:footer-style><s:header-footer-properties f:margin-top="6mm"/></s:footer-style>
  </s:page-layout>
  <s:style s:name="MP1" s:family="paragraph" s:parent-style-name="Header"><s:paragraph-properties f:text-align="end"/></s:style>
 </o:automatic-styles>
 <o:master-styles>
  <s:master-page s:name="Landscape" s:page-layout-name="pm1">
   <s:header><t:p t:style-name="Header">Plant<t:s t:c="2"/>7 <t:span>report</t:span></t:p><t:p t:style-name="MP1">right<svg:x l:href="Pictures/a.png"/></t:p></s:header>
   <s:footer><t:p>Page <t:page-number>3</t:page-number> of <t:page-count>9</t:page-count></t:p></s:footer>
  </s:master-page>
  <s:master-page s:name="Second" s:page-layout-name="unused"/>
 </o:master-styles>
</o:document-styles>
)";

TEST(ReportTemplateRead, LayoutFontsHeaderAndFooterOfTheFirstMasterPage) {
    const ReportTemplate t = ReportTemplate::FromBytes(Package(Styles), "t.ott");
    EXPECT_EQ(t.StylesXml, Styles);
    EXPECT_EQ(t.OfficeVersion, "1.3");
    EXPECT_EQ(t.MasterPageName, "Landscape");
    EXPECT_TRUE(t.HasStandardStyle);
    const TemplatePageLayout& page = t.Layout;
    EXPECT_DOUBLE_EQ(page.WidthMm, 297.0);
    EXPECT_DOUBLE_EQ(page.HeightMm, 210.0);
    EXPECT_DOUBLE_EQ(page.TopMm, 10.0);
    EXPECT_DOUBLE_EQ(page.BottomMm, 10.0);
    EXPECT_DOUBLE_EQ(page.LeftMm, 30.0);
    EXPECT_DOUBLE_EQ(page.RightMm, 10.0);
    EXPECT_DOUBLE_EQ(page.HeaderSpacingMm, 4.0);
    EXPECT_DOUBLE_EQ(page.FooterSpacingMm, 6.0);
    EXPECT_EQ(t.FontFamily, "Some Serif");
    EXPECT_DOUBLE_EQ(t.FontSizePt, 11.0);

    ASSERT_EQ(t.Header.size(), 2u);
    EXPECT_EQ(t.Header[0].Text, "Plant  7 report");
    EXPECT_EQ(t.Header[0].Alignment, "center");
    EXPECT_DOUBLE_EQ(t.Header[0].FontSizePt, 8.8);  // 80 % of the inherited size
    EXPECT_TRUE(t.Header[0].Bold);
    EXPECT_EQ(t.Header[1].Text, "right");
    EXPECT_EQ(t.Header[1].Alignment, "end");  // its own before its parent's
    EXPECT_TRUE(t.Header[1].Bold);
    ASSERT_EQ(t.Footer.size(), 1u);
    EXPECT_EQ(t.Footer[0].Text,
              QStringLiteral("Page %1 of %2").arg(ReportTemplate::PageNumberMark).arg(ReportTemplate::PageCountMark));
    EXPECT_EQ(t.Footer[0].Alignment, "start");

    // Only the files styles.xml refers to come along.
    ASSERT_EQ(t.StyleFiles.size(), 1u);
    EXPECT_EQ(t.StyleFiles[0].Name, "Pictures/a.png");
    EXPECT_EQ(t.StyleFiles[0].Data, "png");

    const ReportTemplate bare = ReportTemplate::FromBytes(
        Package(R"(<office:document-styles xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"/>)"), "b");
    EXPECT_DOUBLE_EQ(bare.Layout.WidthMm, 210.0);
    EXPECT_DOUBLE_EQ(bare.Layout.LeftMm, 20.0);
    EXPECT_TRUE(bare.MasterPageName.isEmpty() && bare.FontFamily.isEmpty() && bare.Header.empty());
    EXPECT_FALSE(bare.HasStandardStyle);
    EXPECT_DOUBLE_EQ(bare.FontSizePt, 12.0);
}

TEST(ReportTemplateRead, Failures) {
    EXPECT_THROW(ReportTemplate::Load("/nonexistent/x.ott"), FileError);
    // A device is refused by name instead of being read without end.
    try {
        ReportTemplate::Load("/dev/zero");
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file /dev/zero: it is not a regular file");
    }
    try {
        ReportTemplate::FromBytes("plain text", "x.dot");
        ADD_FAILURE() << "no error";
    } catch (const HalvetraError& error) {
        EXPECT_EQ(std::string(error.what()), "x.dot is not an OpenDocument text template (.ott or .odt)");
    }
    EXPECT_THROW(ReportTemplate::FromBytes(QByteArray(), "empty"), HalvetraError);
    EXPECT_THROW(ReportTemplate::FromBytes(WriteZip({{"content.xml", "<a/>", false}}), "no styles"), HalvetraError);
    EXPECT_THROW(
        ReportTemplate::FromBytes(Package("<a/>", "application/vnd.oasis.opendocument.presentation"), "slides"),
        HalvetraError);
    EXPECT_THROW(ReportTemplate::FromBytes(Package("<office:document-styles><unclosed>"), "damaged"), HalvetraError);
}

}  // namespace
