// The URL step of `orvantis demo`: components, editing, formatting, query
// items and local files.
#include "Command.h"

#include <OrvantisCore.h>


#include <iostream>
#include <string>

namespace OrvantisTool {
namespace {

using Orvantis::Filesystem::Url;

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

void runUrlStep() {
    Url url("res://user:pw@host:8080/a/b%20c?x=1&y=2;z#frag");
    std::cout << "Url(" << quoted(url.string()) << ")\n"
              << "  scheme " << quoted(url.scheme()) << ", userinfo " << quoted(url.userinfo()) << ", host "
              << quoted(url.host()) << ", port " << quoted(url.port()) << " (" << url.portNumber() << ")\n"
              << "  path " << quoted(url.path()) << " (decoded), query " << quoted(url.query()) << ", fragment "
              << quoted(url.fragment()) << "\n"
              << "  isValid() = " << std::boolalpha << url.isValid() << "\n";

    std::cout << "\nFormatting leaves parts out; the stored text is not changed:\n"
              << "  string(OmitUserInfo | OmitQuery) = " << quoted(url.string(Url::OmitUserInfo | Url::OmitQuery))
              << "\n  string(OmitAuthority)             = " << quoted(url.string(Url::OmitAuthority)) << "\n";

    std::cout << "\nQuery items are split at '&' and ';' and found by prefix:\n";
    for (const Url::Subquery& item : url.subqueries()) {
        std::cout << "  " << quoted(item) << (item.hasKey() ? "  key " + quoted(item.key()) : "  (no key)")
                  << ", value " << quoted(item.value()) << "\n";
    }
    url.replaceSubquery(1, Url::Subquery("y", "20"));
    url.appendSubquery(Url::Subquery("k", "v"));
    std::cout << "  replaceSubquery(1, y=20), appendSubquery(k=v): " << quoted(url.string()) << "\n"
              << "  findSubquery(\"y=\") = " << quoted(url.findSubquery("y=").value()) << "\n";

    std::cout << "\nSetters manage their delimiters; setPath encodes:\n";
    Url edited("/x");
    edited.setPort(8080);
    std::cout << "  Url(\"/x\").setPort(8080)      -> " << quoted(edited.string()) << "\n";
    edited.setHost("");
    std::cout << "  then setHost(\"\")             -> " << quoted(edited.string()) << "\n";
    edited.setScheme("res");
    edited.setPath("/50% off?");
    std::cout << "  then setScheme, setPath(\"/50% off?\") -> " << quoted(edited.string()) << ", path() "
              << quoted(edited.path()) << "\n";
    std::cout << "  Url(\"C:\\\\data\\\\scan.raw\") stores " << quoted(Url("C:\\data\\scan.raw").string())
              << "; Url(\"res://:80\").isValid() = " << Url("res://:80").isValid() << "\n";

    std::cout << "\nLocal files:\n";
    for (const char* local : {"/data/scan 1.raw", "C:\\data\\scan 1.raw", "rel/dir", "a?b#c"}) {
        const Url fileUrl = Url::fromLocalFile(local);
        std::cout << "  fromLocalFile(" << quoted(local) << ") = " << quoted(fileUrl.string()) << ", toLocalFile() "
                  << quoted(fileUrl.toLocalFile().string()) << "\n";
    }
    std::cout << "  relativeTo(\"sub/a.raw\", \"C:/base\", true) = "
              << quoted(Url::relativeTo("sub/a.raw", "C:/base", true).string()) << "\n";
}

const DemoStep::Registration registration{{40, "URLs: components, editing, query items, local files", &runUrlStep}};

}  // namespace
}  // namespace OrvantisTool
