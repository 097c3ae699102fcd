#include "Pages.h"

namespace zqt::demo {

namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           "</title>\n<style>body{font-family:sans-serif;margin:2em;background:#101418;color:#e8eaed}"
           "a{color:#8ab4f8}table{border-collapse:collapse}td,th{padding:4px 10px;border-bottom:1px solid #333}"
           ".tag{display:inline-block;padding:2px 8px;border-radius:6px;background:#2d3b4a}</style></head>\n<body>\n" +
           body + "\n</body></html>\n";
}

} // namespace

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string terminalPage(const std::string& tokenState) {
    std::string session;
    if (tokenState == "valid")
        session = "<p id=\"session\" class=\"tag\">Signed in: token accepted</p>";
    else if (tokenState == "invalid")
        session = "<p id=\"session\" class=\"tag\">Token given but not valid: sign in again</p>";
    else
        session = "<p id=\"session\" class=\"tag\">No token given: market data only</p>";
    return page("ZQT Web Terminal",
                "<h1>ZQT Web Terminal</h1>\n" + session +
                    "\n<table id=\"prices\"><tr><th>Symbol</th><th>Last</th></tr></table>\n"
                    "<script>\n"
                    "async function load(){try{const r=await fetch('/api/prices');const j=await r.json();"
                    "const t=document.getElementById('prices');t.innerHTML='<tr><th>Symbol</th><th>Last</th></tr>';"
                    "for(const [s,p] of Object.entries(j.prices||{})){const row=t.insertRow();"
                    "row.insertCell().textContent=s;row.insertCell().textContent=p;}}catch(e){}}\n"
                    "load();setInterval(load,2000);\n</script>");
}

std::string adminPage(const std::string& statusJson) {
    return page("ZQT Admin", "<h1>ZQT Admin</h1>\n<p>Demo engine: simulated market, simulated broker.</p>\n"
                             "<h2>Status</h2>\n<pre id=\"status\">" +
                                 htmlEscape(statusJson) +
                                 "</pre>\n<p><a href=\"/health\">Health</a> &middot; "
                                 "<a href=\"/api/system/status\">Status JSON</a> &middot; "
                                 "<a href=\"/terminal\">Web terminal</a></p>");
}

std::string apiIndexPage() {
    return page("ZQT Engine", "<h1>ZQT Engine (demo)</h1>\n<ul><li><a href=\"/terminal\">Web terminal</a></li>"
                              "<li><a href=\"/admin\">Admin</a></li><li><a href=\"/health\">Health</a></li></ul>");
}

std::string marketingPage(const std::string& apiBase) {
    return page("ZQT - Trade with discipline",
                "<h1>ZQT</h1>\n<p>Rule-based trading with a risk manager that never sleeps.</p>\n"
                "<ul><li>Simulated and live execution</li><li>RM1 signals</li><li>Daily loss protection</li></ul>\n"
                "<p><a href=\"/external\">Learn more</a> &middot; <a href=\"" +
                    htmlEscape(apiBase) + "/terminal\">Open the terminal</a></p>");
}

std::string externalPage(const std::string& apiBase) {
    return page("ZQT - About", "<h1>About ZQT</h1>\n<p>This demo engine simulates EURUSD, AAPL, BTCUSD, ES and "
                               "XAUUSD with a random walk and fills orders against it.</p>\n<p><a href=\"/\">Back</a>"
                               " &middot; <a href=\"" +
                                   htmlEscape(apiBase) + "/health\">Engine health</a></p>");
}

std::string portalPage(const std::string& apiBase) {
    return page("ZQT Trader Portal", "<h1>Trader Portal</h1>\n<p>Account stage: 1 (evaluation). Profit target 10 %, "
                                     "maximum loss 10 %, daily loss limit 5 %.</p>\n<p><a href=\"" +
                                         htmlEscape(apiBase) + "/terminal\">Go to the terminal</a></p>");
}

} // namespace zqt::demo
