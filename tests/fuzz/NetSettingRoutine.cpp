// The routine that reads "netsetting.xml", judged by what the platform's XML
// component itself reads in the file.
#include <windows.h>

#include "fuzz/PlainXml.h"
#include "fuzz/Routines.h"
#include "update/check/NetSetting.h"

namespace
{
const char kNetAsMsxml[] = "server and ports as MSXML reads the file";
const char kNetUtf16[] = "without mark or declared encoding, the UTF-16 form reads the same";
const char kFound[] = "a Dispatch found", kNotFound[] = "no Dispatch";

const std::vector<std::string>& NetSettingSeeds()
{
    static const std::vector<std::string> seeds = {
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<NetSetting>\r\n  <Dispatch "
        "ip=\"updates.example.com\" "
        "default_port=\"8080\" ssl=\"1\">\r\n    <TestPort port=\"443\" ssl=\"1\"/>\r\n    <testport "
        "port=\"80\" "
        "ssl=\"0\"/>\r\n  </Dispatch>\r\n</NetSetting>\r\n",
        "<r><!-- <!DOCTYPE r> --><DISPATCH ip=\"h\" default_port=\" 42x\"><x><TestPort "
        "port=\"1\"/></x></DISPATCH>"
        "<Dispatch ip=\"second\"/></r>",
    };
    return seeds;
}

std::string NetSettingExtreme(Generator& random)
{
    const size_t n = 1 + random.Size(100 * 1000);
    std::string document;
    const size_t shape = random.Below(4);
    switch (shape)
    {
        case 0:
            document = "<r><Dispatch ip=\"h\">" +
                       Repeat("<TestPort port=\"1\" ssl=\"0\">t</TestPort>", n / 40 + 1) + "</Dispatch></r>";
            break;
        case 1:
            document = "<r><Dispatch ip=\"" + std::string(n, 'h') + "\" default_port=\"" +
                       std::string(n % 40, '9') + "\"/>" + Repeat("<n>", n % 500) + Repeat("</n>", n % 500) +
                       "</r>";
            break;
        case 2:
            document = random.Pick(std::vector<std::string>{
                "<!DOCTYPE r [<!ENTITY e \"h\">]><r><Dispatch ip=\"&e;\"/></r>",
                "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///c:/windows/win.ini\">]><r><Dispatch "
                "ip=\"&e;\"/></r>",
                "<r><Dispatch ip=\"h\"><![CDATA[<!DOCTYPE r>]]></Dispatch></r>",
                "<?xml version=\"1.0\" encoding=\"GBK\"?><r><Dispatch ip=\"\xD6\xD0\"/></r>"});
            break;
        default:
            document = "<r>" + Repeat("<Dispatch ip=\"h\"/>", n / 20 + 1) + "</r>";
            break;
    }
    return AnyEncoding(random, document);
}

// The program looks for a document type or a comment in the file's bytes
// read in every encoding the component could take them in, and refuses the
// file when any reading finds one: a false alarm refuses a file that the
// component, reading one encoding only, finds well formed and free of both.
// Such a refusal is not judged: the file read nothing, the component a
// Dispatch, and the bytes, zeros left out, hold "<!DOCTYPE" or "<!--".
bool ScreenedInAnotherReading(const std::string& input, const std::wstring& server,
                              const DispatchPortList& ports, const PlainNetSetting& plain)
{
    if (!plain.found || !server.empty() || !ports.empty())
        return false;
    std::string ascii;
    for (char c : input)
    {
        if (c)
            ascii += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return ascii.find("<!DOCTYPE") != std::string::npos || ascii.find("<!--") != std::string::npos;
}

void RunNetSetting(const std::string& input, Checker& check)
{
    WriteInputFile(kNetSettingFileName, input);
    std::wstring server;
    DispatchPortList ports;
    LoadNetSetting(server, ports);
    check.Untimed(
        [&]
        {
            wchar_t full[MAX_PATH] = {};
            ::GetFullPathNameW(kNetSettingFileName, MAX_PATH, full, nullptr);
            const std::optional<PlainNetSetting> read = ReadNetSettingPlainly(full, input);
            if (!read || ScreenedInAnotherReading(input, server, ports, *read))
                return;
            const PlainNetSetting& plain = *read;
            bool same = server == plain.server && ports.size() == plain.ports.size();
            for (size_t i = 0; same && i < ports.size(); ++i)
                same = ports[i].port == plain.ports[i].first && ports[i].ssl == plain.ports[i].second;
            check.Expect(kNetAsMsxml, plain.found ? kFound : kNotFound, same,
                         "server \"" + Utf8(server.substr(0, 40)) + "\" with " +
                             std::to_string(ports.size()) + " ports, MSXML \"" +
                             Utf8(plain.server.substr(0, 40)) + "\" with " +
                             std::to_string(plain.ports.size()));
        });
    // The same document without a byte-order mark or a declared encoding
    // reads the same in UTF-16: a second run of the routine, not timed.
    if (input.find("encoding") != std::string::npos || input.compare(0, 3, "\xEF\xBB\xBF") == 0 ||
        !IsStrictUtf8(input) || input.find('\0') != std::string::npos)
        return;
    check.Untimed(
        [&]
        {
            WriteInputFile(kNetSettingFileName, Utf16(input, false, true));
            std::wstring server16;
            DispatchPortList ports16;
            LoadNetSetting(server16, ports16);
            bool same = server16 == server && ports16.size() == ports.size();
            for (size_t i = 0; same && i < ports.size(); ++i)
                same = ports[i].port == ports16[i].port && ports[i].ssl == ports16[i].ssl;
            check.Expect(kNetUtf16, server.empty() ? kNotFound : kFound, same,
                         "the document reads otherwise in UTF-16");
        });
}

} // namespace

void AddNetSettingRoutine(std::vector<Routine>& routines)
{
    routines.push_back({"netsetting",
                        NetSettingSeeds(),
                        NetSettingExtreme,
                        RunNetSetting,
                        {{kNetAsMsxml, {kFound, kNotFound}}, {kNetUtf16, {kFound, kNotFound}}}});
}
