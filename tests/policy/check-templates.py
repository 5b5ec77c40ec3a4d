#!/usr/bin/python3
# Checks the administrative template in the folder given (policy/) as the Group Policy editor loads it: each file
# against the form of its kind (admx.xsd), each $(string.X) of the .admx in both languages, one text box per text
# element, and the settings written where the program reads them.
import re
import sys
from pathlib import Path

from lxml import etree

NS = {"pd": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
schema = etree.XMLSchema(etree.parse(str(Path(__file__).with_name("admx.xsd"))))
faults = []


def load(path, document_element):
    document = etree.parse(str(Path(sys.argv[1]) / path))
    if not schema.validate(document) or etree.QName(document.getroot()).localname != document_element:
        faults.extend([str(error) for error in schema.error_log] or ["%s: no %s" % (path, document_element)])
    return document


admx = load("QVXLiveUpdate.admx", "policyDefinitions")
policies = admx.xpath("//pd:policy", namespaces=NS)
named = set(re.findall(r"\$\(string\.(\w+)\)", etree.tostring(admx, encoding="unicode")))
for language in ("en-US", "zh-CN"):
    adml = load(language + "/QVXLiveUpdate.adml", "policyDefinitionResources")
    faults += ["%s: no string %s" % (language, n) for n in named - set(adml.xpath("//pd:string/@id", namespaces=NS))]
    for policy in policies:
        shown = re.sub(r"^\$\(presentation\.(\w+)\)$", r"\1", policy.get("presentation", ""))
        if sorted(adml.xpath("//pd:presentation[@id=$p]/pd:textBox/@refId", p=shown, namespaces=NS)) != sorted(
                policy.xpath("pd:elements/pd:text/@id", namespaces=NS)):
            faults.append("%s: %s has not one text box per text element" % (language, policy.get("name")))
# The program reads these three values of this key, from the machine's part of the registry.
written = {value: (policy.get("class"), policy.get("key")) for policy in policies
           for value in [policy.get("valueName")] + policy.xpath("pd:elements/pd:text/@valueName", namespaces=NS)}
written.pop(None, None)
if written != dict.fromkeys(("UpdatesDisabled", "TargetVersionPrefix", "IgnoreRollout"),
                            ("Machine", r"SOFTWARE\Policies\Qoravel\LiveUpdate")):
    faults.append("the settings written are %s" % written)
print("\n".join(faults) or "the administrative template loads")
sys.exit(1 if faults else 0)
