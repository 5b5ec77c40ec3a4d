#include "update/check/VersionReply.h"

#include "framework/ComPtr.h"
#include "support/WideText.h"
#include "support/RunLog.h"
#include "support/XmlDocument.h"
#include "update/download/PackageName.h"
#include "update/record/LiveUpdateIni.h"
#include "update/trust/PackageChecks.h"

VersionReply ReadVersionReply(const std::wstring& replyText)
{
    VersionReply reply;
    ComApartment com;
    {
        CXmlDocument document;
        // The server sends the document without a declaration of its own.
        document.LoadFromText(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>" + replyText);
        const XmlNode root = document.GetRoot();
        document.GetAttributeInt(root, "status-code", reply.status);
        if (reply.status == 1)
        {
            UpdateRecord& record = reply.record;
            document.FindChild(root, "newversionname", record.name);
            document.FindChild(root, "newversion", record.version);
            document.FindChild(root, "downloadurl", record.url);
            document.FindChild(root, "size", record.size);
            document.FindChild(root, "sha256", record.sha256);
            document.FindChild(root, "signature", record.signature);
            document.FindChild(root, "desc", record.desc);
            for (const XmlNode& mirror : document.FindChildren(root, "mirror"))
                record.mirrors.push_back(document.GetText(mirror));
            // openssl wraps its base64 over lines.
            record.signature = WithoutWhiteSpace(record.signature);
            // One line of the settings file per line of the description.
            ReplaceAll(record.desc, L"\n", L"\r\n");
        }
    } // every node is released before COM is left
    return reply;
}

ReplyVerdict JudgeVersionReply(const VersionReply& reply)
{
    if (reply.status == 0)
        return ReplyVerdict::Current;
    if (reply.status != 1)
        return ReplyVerdict::NewVersion;
    // A value the pages could only show or use cut, or a check the download
    // could not read, would be another value: the offer is refused whole.
    const UpdateRecord& record = reply.record;
    uint64_t size = 0;
    std::array<BYTE, 32> digest{};
    std::array<BYTE, 64> signature{};
    if (!RecordFitsItsReaders(record) || (!record.size.empty() && !ParsePackageSize(record.size, size)) ||
        (!record.sha256.empty() && !ParseSha256Hex(record.sha256, digest)) ||
        (!record.signature.empty() && !ParseSignatureText(record.signature, signature)))
        return ReplyVerdict::Unusable;
    for (const std::wstring& mirror : record.mirrors)
    {
        if (!IsMirrorOf(mirror, record.url))
            return ReplyVerdict::Unusable;
    }
    return ReplyVerdict::NewVersion;
}

ReplyVerdict RecordVersionReply(const std::wstring& replyText, const RecordWriteGuard& guard)
{
    const VersionReply reply = ReadVersionReply(replyText);
    const ReplyVerdict verdict = JudgeVersionReply(reply);
    LogEvent(L"check: the reply says status-code " + std::to_wstring(reply.status) +
             (reply.status == 1
                  ? L", offered version \"" + reply.record.version + L"\" at " + reply.record.url +
                        (reply.record.mirrors.empty()
                             ? std::wstring()
                             : L" and " + std::to_wstring(reply.record.mirrors.size()) + L" mirror(s)")
                  : std::wstring()) +
             (verdict == ReplyVerdict::Unusable ? L"; not usable (a value too long or malformed, or a mirror "
                                                  L"that is no web address of the same file)"
                                                : L""));
    if (verdict != ReplyVerdict::NewVersion || reply.status != 1)
        return verdict;
    const std::wstring path = LiveUpdateIniPath();
    bool written = false;
    if (!guard([&] { written = !path.empty() && WriteUpdateRecord(path.c_str(), reply.record); }))
        return verdict;
    if (written)
        return verdict;
    LogEvent(L"check: the update record could not be written");
    return ReplyVerdict::Unusable;
}
