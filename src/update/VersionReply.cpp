#include "update/VersionReply.h"

#include "framework/ComPtr.h"
#include "support/StringHelpers.h"
#include "support/XmlDocument.h"

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
            document.FindChild(root, "newversionname", reply.record.name);
            document.FindChild(root, "newversion", reply.record.version);
            document.FindChild(root, "downloadurl", reply.record.url);
            document.FindChild(root, "desc", reply.record.desc);
            // One line of the settings file per line of the description.
            ReplaceAll(reply.record.desc, L"\n", L"\r\n");
        }
    } // every node is released before COM is left
    return reply;
}

ReplyVerdict JudgeVersionReply(const VersionReply& reply)
{
    if (reply.status == 0)
        return ReplyVerdict::Current;
    if (reply.status != 1)
        return ReplyVerdict::NewVersion; // records nothing: the pages show what the file holds
    // A value the pages could only show or use cut would be another value.
    return RecordFitsItsReaders(reply.record) ? ReplyVerdict::NewVersion : ReplyVerdict::Unusable;
}

ReplyVerdict EvaluateVersionReply(const std::wstring& replyText, const wchar_t* iniPath)
{
    const VersionReply reply = ReadVersionReply(replyText);
    const ReplyVerdict verdict = JudgeVersionReply(reply);
    if (verdict != ReplyVerdict::NewVersion || reply.status != 1)
        return verdict;
    if (!iniPath || !*iniPath || !WriteUpdateRecord(iniPath, reply.record))
        return ReplyVerdict::Unusable;
    return ReplyVerdict::NewVersion;
}
