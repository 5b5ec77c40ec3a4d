#include "update/check/VersionReply.h"

#include "framework/ComPtr.h"
#include "support/WideText.h"
#include "support/XmlDocument.h"
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
        std::wstring status;
        reply.hasStatus = document.GetAttribute(root, "status-code", status) && !status.empty();
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
            std::wstring rollout;
            if (document.FindChild(root, "rollout", rollout))
                reply.rollout = rollout;
            // openssl wraps its base64 over lines.
            record.signature = WithoutWhiteSpace(record.signature);
            // One line of the settings file per line of the description.
            ReplaceAll(record.desc, L"\n", L"\r\n");
        }
    } // every node is released before COM is left
    return reply;
}
