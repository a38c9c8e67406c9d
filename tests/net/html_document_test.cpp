#include "net/html_document.h"

#include "json/error.h"
#include <gtest/gtest.h>

using namespace orvana;
using namespace orvana::net;

namespace {

const QString kAlbumPage = QStringLiteral(
    "<html><head><title>Album</title><script>var x = '<div class=\"album-info\">';</script>"
    "</head><body>"
    "<div class=\"album-info top\"><h2>Wrong</h2></div>"
    "<div class=\"album-info\">\n"
    "  <h2>\n   Meteor   &amp; Rain \n<span>中文</span>  </h2>"
    "  <IMG SRC=\"http://img.example/blank.gif\" ORG_SRC=\"/covers/7.jpg\">"
    "  <img src=\"/x.jpg\">"
    "</div>"
    "<div id=\"baseInfo\"><h2>Singer</h2></div>"
    "</body></html>");

} // namespace

TEST(HtmlDocument, FindsTheAlbumBlockByItsExactClassText) {
    HtmlDocument document;
    document.Clear();
    document.write(kAlbumPage);
    const HtmlElementList divs = document.getElementsByTagName(QStringLiteral("div"));
    ASSERT_EQ(divs.Length(), 3);
    EXPECT_EQ(divs.item(0).className(), QStringLiteral("album-info top"));
    EXPECT_EQ(divs.item(1).className(), QStringLiteral("album-info"));
    EXPECT_EQ(divs.item(2).className(), QString());

    const HtmlElement block = divs[1];
    EXPECT_EQ(block.getElementsByTagName(QStringLiteral("h2")).item(0).innerText(),
              QStringLiteral("Meteor & Rain 中文"));
    const HtmlElementList images = block.getElementsByTagName(QStringLiteral("IMG"));
    ASSERT_EQ(images.Length(), 2);
    EXPECT_EQ(images[0].src(), QStringLiteral("http://img.example/blank.gif"));
    EXPECT_EQ(images[0].org_src(), QStringLiteral("/covers/7.jpg")); // attributes as written
    EXPECT_EQ(images[1].src(), QStringLiteral("about:/x.jpg"));
    EXPECT_EQ(images[1].org_src(), QString());
    EXPECT_EQ(images[0].tagName(), QStringLiteral("img"));
}

TEST(HtmlDocument, GetElementByIdFindsTheFirstExactMatch) {
    HtmlDocument document;
    document.write(kAlbumPage);
    const HtmlElement info = document.getElementById(QStringLiteral("baseInfo"));
    ASSERT_FALSE(info.isNull());
    EXPECT_EQ(info.innerText(), QStringLiteral("Singer"));
    EXPECT_TRUE(document.getElementById(QStringLiteral("baseinfo")).isNull());
}

TEST(HtmlDocument, LinksAreAnchorsWithHrefInDocumentOrder) {
    HtmlDocument document;
    document.write(QStringLiteral("<ul><li><a href=\"/song/42\" title=\"第一首\">one</a></li>"
                                  "<li><a name=\"anchor-only\">no href</a></li>"
                                  "<li><a href=\" http://host/song/43 \">two</a></li>"
                                  "<li><a href=\"song/44?x=1#top\" title=\"\">three</a></li>"
                                  "<map><area href=\"mailto:x@y\"></map>"
                                  "<li><a href=\"\">empty</a></li></ul>"));
    ASSERT_EQ(document.links().Length(), 5);
    EXPECT_EQ(document.links(0).href(), QStringLiteral("about:/song/42"));
    EXPECT_EQ(document.links(0).title(), QStringLiteral("第一首"));
    EXPECT_EQ(document.links(1).href(), QStringLiteral("http://host/song/43"));
    EXPECT_EQ(document.links(1).title(), QString()); // absent title reads empty
    EXPECT_EQ(document.links(2).href(), QStringLiteral("about:song/44?x=1#top"));
    EXPECT_EQ(document.links(3).href(), QStringLiteral("mailto:x@y"));
    EXPECT_EQ(document.links(4).href(), QStringLiteral("about:"));
    EXPECT_TRUE(document.links(5).isNull());
    EXPECT_TRUE(document.links(-1).isNull());
}

TEST(HtmlDocument, ReadingThroughNoElementIsAnError) {
    HtmlDocument document;
    document.write(QStringLiteral("<p>nothing here</p>"));
    const HtmlElement missing = document.getElementsByTagName(QStringLiteral("div")).item(0);
    EXPECT_TRUE(missing.isNull());
    try {
        (void)missing.innerText();
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::Shape);
        EXPECT_EQ(error.message(), QStringLiteral("The page has no such element"));
    }
    EXPECT_THROW((void)missing.className(), Error);
    EXPECT_THROW((void)missing.src(), Error);
    EXPECT_THROW((void)missing.getElementsByTagName(QStringLiteral("a")), Error);
    EXPECT_TRUE(document.getElementById(QStringLiteral("x")).isNull());
}

TEST(HtmlDocument, ClearForgetsTheMarkupAndWriteAppends) {
    HtmlDocument document;
    EXPECT_EQ(document.links().Length(), 0); // a new document is empty
    document.write(QStringLiteral("<a href=\"/song/1\">1</a>"));
    document.write(QStringLiteral("<a href=\"/song/2\">2</a>"));
    EXPECT_EQ(document.links().Length(), 2);
    const HtmlElement kept = document.links(1);
    document.Clear();
    EXPECT_EQ(document.links().Length(), 0);
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("*")).Length(), 0);
    // A handle outlives the markup it came from.
    EXPECT_EQ(kept.href(), QStringLiteral("about:/song/2"));
    document.write(QStringLiteral("<a href=\"/song/3\">3</a>"));
    EXPECT_EQ(document.links().Length(), 1);
    EXPECT_EQ(document.links(0).href(), QStringLiteral("about:/song/3"));
}

TEST(HtmlDocument, InnerTextIsTheVisibleTextCollapsed) {
    HtmlDocument document;
    document.write(QStringLiteral("<div id=\"t\">  a<b>b</b>\t\tc<br>d<p>e</p><script>hidden()"
                                  "</script><style>p{}</style>f&nbsp;g<!-- note --> </div>"));
    EXPECT_EQ(document.getElementById(QStringLiteral("t")).innerText(),
              QStringLiteral("ab c d e f\u00a0g"));
}

TEST(HtmlDocument, UnknownAndOddTagsAreFound) {
    HtmlDocument document;
    document.write(QStringLiteral("<my-widget data-x=\"1\">w</my-widget><MY-WIDGET>v</MY-WIDGET>"
                                  "<table><tr><td>cell</td></tr></table>"));
    const HtmlElementList widgets = document.getElementsByTagName(QStringLiteral("My-Widget"));
    ASSERT_EQ(widgets.Length(), 2);
    EXPECT_EQ(widgets[0].getAttribute(QStringLiteral("DATA-X")), QStringLiteral("1"));
    EXPECT_TRUE(widgets[0].hasAttribute(QStringLiteral("data-x")));
    EXPECT_FALSE(widgets[1].hasAttribute(QStringLiteral("data-x")));
    // The implied tbody is there, as in a browser.
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("tbody")).Length(), 1);
}

TEST(HtmlDocument, SurvivesDeepNestingAndBrokenText) {
    QString deep;
    for (int i = 0; i < 99'000; ++i)
        deep += QStringLiteral("<div>");
    deep += QStringLiteral("<a href=\"/song/9\">x</a>");
    HtmlDocument document;
    document.write(deep);
    EXPECT_EQ(document.links().Length(), 1);
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("div")).Length(), 99'000);
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("div")).item(0).innerText(),
              QStringLiteral("x"));

    // A lone surrogate and a NUL in the text never break the parse.
    QString odd = QStringLiteral("<p id=\"p\">a");
    odd += QChar(0xd800);
    odd += QChar(0);
    odd += QStringLiteral("b</p>");
    document.Clear();
    document.write(odd);
    EXPECT_FALSE(document.getElementById(QStringLiteral("p")).isNull());
}

TEST(HtmlDocument, DeepPagesKeepEveryElementAndWhereItEnds) {
    QString page = QStringLiteral("<div id=\"outer\">");
    for (int i = 0; i < 1000; ++i)
        page += QStringLiteral("<div><span>");
    page += QStringLiteral("<a href=\"/song/1\">deep</a>");
    for (int i = 0; i < 1000; ++i)
        page += QStringLiteral("</span></div>");
    page += QStringLiteral("</div><p id=\"after\">after</p>");
    HtmlDocument document;
    document.write(page);
    const HtmlElement outer = document.getElementById(QStringLiteral("outer"));
    ASSERT_FALSE(outer.isNull());
    EXPECT_EQ(outer.getElementsByTagName(QStringLiteral("div")).Length(), 1000);
    EXPECT_EQ(outer.getElementsByTagName(QStringLiteral("span")).Length(), 1000);
    EXPECT_EQ(outer.getElementsByTagName(QStringLiteral("p")).Length(), 0);
    EXPECT_EQ(outer.innerText(), QStringLiteral("deep"));
    EXPECT_EQ(document.links(0).innerText(), QStringLiteral("deep"));
    EXPECT_EQ(document.getElementById(QStringLiteral("after")).innerText(),
              QStringLiteral("after"));
}

TEST(HtmlDocument, SloppyButOrdinaryMarkupIsParsedAsWritten) {
    // Thousands of list items and paragraphs without end tags are siblings, not a deep nest.
    QString page = QStringLiteral("<ul>");
    for (int i = 0; i < 3000; ++i)
        page += QStringLiteral("<li><a href=\"/song/%1\" title=\"t%1\">s%1</a><p>x").arg(i);
    page += QStringLiteral("</ul><b>bold <i>both</b> italic</i>");
    HtmlDocument document;
    document.write(page);
    EXPECT_EQ(document.links().Length(), 3000);
    EXPECT_EQ(document.links(2999).title(), QStringLiteral("t2999"));
    const HtmlElementList items = document.getElementsByTagName(QStringLiteral("li"));
    ASSERT_EQ(items.Length(), 3000);
    EXPECT_EQ(items[5].getElementsByTagName(QStringLiteral("li")).Length(), 0);
    EXPECT_EQ(items[5].innerText(), QStringLiteral("s5 x"));
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("i")).Length(), 2); // as browsers do
}

TEST(HtmlDocument, FormattingLeftOpenCannotMultiplyThePage) {
    QString page;
    for (int i = 0; i < 50'000; ++i)
        page += QStringLiteral("<b>");
    for (int i = 0; i < 2000; ++i)
        page += QStringLiteral("<p><font id=\"f%1\">x</p>").arg(i);
    page += QStringLiteral("<a href=\"/song/1\">end</a>");
    HtmlDocument document;
    document.write(page);
    EXPECT_EQ(document.links().Length(), 1);
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("p")).Length(), 2000);
    // Every text survives even where its formatting was left out.
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("p")).item(1999).innerText(),
              QStringLiteral("x"));
    EXPECT_LT(document.getElementsByTagName(QStringLiteral("*")).Length(), 200'000);
}

TEST(HtmlDocument, PagesOverTheCapsAreRefusedAndLeaveTheDocumentEmpty) {
    auto refusal = [](const QString& page) {
        HtmlDocument document;
        document.write(QStringLiteral("<a href=\"/song/1\">before</a>"));
        QString message;
        try {
            document.write(page);
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Shape);
            message = e.message();
        }
        EXPECT_EQ(document.links().Length(), 0);
        EXPECT_TRUE(document.getElementById(QStringLiteral("x")).isNull());
        return message;
    };
    const QString bytesCap = QStringLiteral("page too large: more than 4 MiB");
    const QString elementsCap = QStringLiteral("page too large: more than 100000 elements");
    // 63 MiB of links: refused before anything is parsed.
    EXPECT_EQ(refusal(QStringLiteral("<a>").repeated(22'000'000)), bytesCap);
    // Fewer UTF-16 units than the cap, more bytes of UTF-8.
    EXPECT_EQ(refusal(QString(1'500'000, QChar(u'歌'))), bytesCap);
    EXPECT_EQ(refusal(QStringLiteral("<a>").repeated(350'000)), elementsCap);
    EXPECT_EQ(refusal(QStringLiteral("<script></script>").repeated(150'000)), elementsCap);
    // Formatting left open is rebuilt in every paragraph: counted as it will be built.
    EXPECT_EQ(refusal(QStringLiteral("<b><i><u><s><em><strong><tt><small><big><code><font>") +
                      QStringLiteral("<p>x</p>").repeated(10'000)),
              elementsCap);
    // A clean error's end: the next write starts afresh.
    HtmlDocument document;
    EXPECT_THROW(document.write(QStringLiteral("<br>").repeated(100'001)), Error);
    document.write(QStringLiteral("<br>").repeated(99'000) +
                   QStringLiteral("<a href=\"/s\">s</a>"));
    EXPECT_EQ(document.links().Length(), 1);
    EXPECT_EQ(document.getElementsByTagName(QStringLiteral("br")).Length(), 99'000);
}
