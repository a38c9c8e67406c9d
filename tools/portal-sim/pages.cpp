#include "tools/portal-sim/pages.h"

#include <algorithm>
#include <httplib.h>

namespace orvana::portal {

namespace {

struct Escape {
    char c;
    const char* text;
};

// `s` with every character that has an escape replaced by its text.
template <std::size_t N> std::string escaped(const std::string& s, const Escape (&escapes)[N]) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (char c : s) {
        const Escape* e =
            std::find_if(escapes, escapes + N, [c](const Escape& x) { return x.c == c; });
        if (e == escapes + N)
            out += c;
        else
            out += e->text;
    }
    return out;
}

} // namespace

std::string HtmlEscape(const std::string& s) {
    static const Escape escapes[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}};
    return escaped(s, escapes);
}

std::string JsonEscape(const std::string& s) {
    static const Escape escapes[] = {{'"', "\\\""}, {'\\', "\\\\"}, {'/', "\\/"},
                                     {'\n', "\\n"}, {'\r', "\\r"},  {'\t', "\\t"}};
    return escaped(s, escapes);
}

std::string FormValue(const std::string& body, const std::string& key) {
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t amp = body.find('&', pos);
        if (amp == std::string::npos)
            amp = body.size();
        const std::string pair = body.substr(pos, amp - pos);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == key)
            return httplib::detail::decode_url(pair.substr(eq + 1), true);
        pos = amp + 1;
    }
    return {};
}

std::string SitePage(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           " - Orvana音乐</title></head>\n<body>\n<div class=\"header\"><h2>Orvana音乐</h2>"
           "<a href=\"/\">首页</a> <a href=\"/artist\">歌手</a></div>\n" +
           body + "\n<div class=\"footer\">Orvana sample portal</div>\n</body></html>\n";
}

std::string NotFoundPage() {
    return SitePage("404", "<p>页面不存在</p>");
}

std::string FrontPage(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           " - Orvana音乐</title></head>\n<body>\n<h2>Orvana音乐</h2>\n" + body +
           "\n</body></html>\n";
}

const char* const kLoginForm =
    "<form id=\"login\" method=\"post\" action=\"/login\">\n"
    "<p><label>帐号 <input id=\"user\" name=\"user\"></label></p>\n"
    "<p><label>密码 <input id=\"password\" name=\"password\" type=\"password\"></label></p>\n"
    "<p><button id=\"submit\" type=\"submit\">登录</button></p>\n</form>";

std::string AlbumPage(const Album& album, const std::string& host) {
    std::string img;
    switch (album.cover) {
    case CoverStyle::Absolute:
        img = "<img src=\"http://" + host + "/cover/" + album.id + ".jpg\" alt=\"\">";
        break;
    case CoverStyle::Relative:
        img = "<img src=\"/cover/" + album.id + ".jpg\" alt=\"\">";
        break;
    case CoverStyle::BlankWithOrgSrc:
        img = "<img src=\"http://" + host + "/images/blank.gif\" org_src=\"http://" + host +
              "/cover/" + album.id + ".jpg\" alt=\"\">";
        break;
    }
    const std::string body = "<div class=\"nav\"><h2>专辑</h2></div>\n<div class=\"" +
                             album.blockClass + "\">\n  <h2>" + HtmlEscape(album.title) +
                             "</h2>\n  " + img + "\n  <p class=\"intro\">共" +
                             std::to_string(album.songIds.size()) + "首歌曲</p>\n</div>";
    return SitePage(album.title, body);
}

std::string SongListJson(const Catalogue& catalogue, const Album* album) {
    std::string html;
    if (album) {
        html = "<div class=\"song-list\"><ul>";
        int n = 0;
        for (const std::string& id : album->songIds) {
            const Song* song = catalogue.song(id);
            html += "<li><span class=\"num\">" + std::to_string(++n) + "</span><a href=\"/song/" +
                    id + "\" title=\"" + HtmlEscape(song->title) + "\" target=\"_blank\">" +
                    HtmlEscape(song->title) + "</a> <a class=\"singer\" href=\"/artist/" +
                    kDemoSingerId + "\">歌手</a></li>";
        }
        html += "</ul><a class=\"more\" href=\"/album/" + album->id + "\">更多</a></div>";
    }
    return "{\"errorCode\":22000,\"data\":{\"html\":\"" + JsonEscape(html) + "\"}}";
}

std::string DownloadPage(const Song& song, const std::vector<FileLink>& links, FileMarker marker) {
    std::string info;
    const bool quot = song.ending == LinkEnding::Quot;
    const std::string q = quot ? "&quot;" : "\"";
    for (const auto& [rate, link] : links) {
        if (!info.empty())
            info += ",";
        info += "{" + q + "rate" + q + ":" + q + rate + q + "," + q + "link" + q + ":" + q;
        if (marker == FileMarker::Written)
            info += "\\/data\\/music\\/file?link=" + link;
        info += q + "}";
    }
    std::string body = "<h1>" + HtmlEscape(song.title) + "</h1>\n";
    if (quot)
        body += "<div class=\"download\" data-info=\"[" + info + "]\">下载</div>";
    else
        body += "<script type=\"text/javascript\">var downloadInfo = [" + info + "];</script>";
    return SitePage(song.title, body);
}

std::string SingerPage(const Singer& singer) {
    return SitePage(singer.name, "<div class=\"nav\"><h2>歌手</h2></div>\n"
                                 "<div id=\"baseInfo\"><h2>" +
                                     HtmlEscape(singer.name) + "</h2><p>共" +
                                     std::to_string(singer.albumIds.size()) + "张专辑</p></div>");
}

std::string AlbumListJson(const Catalogue& catalogue, const Singer& singer, std::size_t start,
                          const std::string& host, const std::string& errorCode) {
    std::string html;
    for (std::size_t i = start; i < singer.albumIds.size() && i < start + 10; ++i) {
        const Album* album = catalogue.album(singer.albumIds[i]);
        // org_src is read as written (no "about:" form), so the portal writes it absolute.
        const std::string cover = album->cover == CoverStyle::BlankWithOrgSrc
                                      ? "<img src=\"/images/blank.gif\" org_src=\"http://" + host +
                                            "/cover/" + album->id + ".jpg\">"
                                      : "<img src=\"/cover/" + album->id + ".jpg\">";
        html += "<li><a class=\"" + album->listClass + "\" href=\"/album/" + album->id +
                "\" title=\"" + HtmlEscape(album->title) + "\">" + cover +
                "</a><a class=\"name\" href=\"/album/" + album->id + "\">" +
                HtmlEscape(album->title) + "</a></li>";
    }
    if (!html.empty())
        html = "<div class=\"album-info\"><ul>" + html + "</ul></div>";
    return "{" + errorCode + ",\"data\":{\"html\":\"" + JsonEscape(html) + "\"}}";
}

std::string ArtistIndexPage(const Catalogue& catalogue, const std::string& category,
                            const std::string& host) {
    std::string body = "<div class=\"categories\">";
    for (const std::string& p : CategoryPaths())
        body += "<a href=\"/artist" + p + "\">" + (p.empty() ? "全部" : p) + "</a> ";
    body += "</div>\n<ul class=\"singers\">";
    bool absolute = false;
    for (const Singer& singer : catalogue.singers) {
        if (!category.empty() && singer.categoryPath != category)
            continue;
        // Some links absolute, some relative: both must reduce to the ID.
        const std::string href =
            (absolute ? "http://" + host : std::string()) + "/artist/" + singer.id;
        absolute = !absolute;
        body += "<li><a href=\"" + href + "\" title=\"" + HtmlEscape(singer.name) + "\">" +
                HtmlEscape(singer.name) + "</a></li>";
    }
    body += "</ul>\n<p><a href=\"/artist/99999999\">   </a> <a href=\"/artist" + category +
            "?page=2\">下一页</a></p>";
    return SitePage("歌手", body);
}

} // namespace orvana::portal
