"""Stand-ins of the three bug trackers, as the upload tests meet them on 127.0.0.1.

Each answers the calls a reporter makes, from the trackers' documented formats, with choices
that hold XML's special characters, and checks the account on every call. What a call carried
is recorded (records.py) as its method and its values, each value as a "field" line with an
empty charset, and the files it carried: the Windows-side test compares them with what it sent.

  Bugzilla  /bugzilla/xmlrpc.cgi: Python's own XML-RPC implementation parses the calls.
  FogBugz   /fogbugz/api.xml, /fogbugz/api.asp?cmd=...; a new case is a form post.
  Mantis    /mantis/api/soap/mantisconnect.php/COMMAND: each call parsed by ElementTree, a
            namespace-aware XML parser, the multi-reference encoding of a new issue resolved.
"""
import base64
import sys
import email.parser
import email.policy
import urllib.parse
import xml.etree.ElementTree as ElementTree
import xmlrpc.client
import xmlrpc.server
from xml.sax.saxutils import escape

from records import hexed, write_record

USER, PASSWORD = "reporter@maker.example", "s3cr<e>t&"


def record(handler, method, values, files=()):
    lines = [f"path\t{hexed(method)}"]
    lines += [f"field\t{hexed(name)}\t\t{hexed(str(value))}" for name, value in values]
    write_record(handler.server.results, lines, list(files))


# Bugzilla ------------------------------------------------------------------------------------

PRODUCTS = [
    {"id": 1, "name": "Lumigate", "components": [{"name": "Setup"}, {"name": "Download"}],
     "versions": [{"name": "1.0"}, {"name": "2.0"}]},
    {"id": 2, "name": "R&D <tools>", "components": [{"name": "Misc"}], "versions": [{"name": "unspecified"}]},
]
FIELDS = {"priority": ["P1", "P2", "P3"], "bug_severity": ["critical", "normal"],
          "op_sys": ["Linux", "other"], "rep_platform": ["Macintosh", "PC"]}


def bugzilla(handler, path, body):
    def checked(params, login=True):
        if login and (params.get("Bugzilla_login"), params.get("Bugzilla_password")) != (USER, PASSWORD):
            raise xmlrpc.client.Fault(300, "The username or password you entered is not valid.")

    def version(params):
        checked(params, "Bugzilla_login" in params)
        return {"version": "5.0.4"}

    def enterable(params):
        checked(params)
        return {"ids": [p["id"] for p in PRODUCTS]}

    def products(params):
        checked(params)
        return {"products": [p for p in PRODUCTS if p["id"] in params["ids"]]}

    def fields(params):
        checked(params)
        return {"fields": [{"name": n, "values": [{"name": v} for v in vs]} for n, vs in FIELDS.items()]}

    def create(params):
        checked(params)
        record(handler, "Bug.create", sorted((k, v) for k, v in params.items() if not k.startswith("Bugzilla_")))
        return {"id": 4711}

    def attach(params):
        checked(params)
        data = params.pop("data").data
        values = [(k, v) for k, v in sorted(params.items()) if not k.startswith("Bugzilla_")]
        record(handler, "Bug.add_attachment", values, [("data", params["file_name"].encode(), data)])
        return {"ids": [params["ids"][0] * 10]}

    dispatcher = xmlrpc.server.SimpleXMLRPCDispatcher(allow_none=True, encoding="utf-8")
    for name, function in {"Bugzilla.version": version, "Product.get_enterable_products": enterable,
                           "Product.get": products, "Bug.fields": fields, "Bug.create": create,
                           "Bug.add_attachment": attach}.items():
        dispatcher.register_function(function, name)
    return 200, "text/xml", dispatcher._marshaled_dispatch(body)


# FogBugz -------------------------------------------------------------------------------------

TOKEN = "t0k&n"
FOG_PROJECTS = [("1", "Lumigate"), ("2", "R&D <tools>")]
FOG_AREAS = [("Setup", "Lumigate"), ("Not Spam", "R&D <tools>"), ("Misc", "R&D <tools>")]
FOG_PEOPLE = ["J\u00fcrgen M\u00fcller", "Ada <Admin>"]


def cdata(text):
    return "<![CDATA[" + text + "]]>"


def fogbugz(handler, path, body):
    def answer(inner):
        return 200, "text/xml", ('<?xml version="1.0" encoding="UTF-8"?><response>' + inner +
                                 "</response>").encode()

    if path.path == "/fogbugz/api.xml":
        return answer("<version>8</version><minversion>1</minversion><url>api.asp?</url>")
    if handler.command == "POST":
        handler.record(body)
        return answer('<case ixBug="123" operations="edit,assign"></case>')
    query = dict(urllib.parse.parse_qsl(path.query, keep_blank_values=True))
    command = query.get("cmd")
    if command == "logon":
        if (query.get("email"), query.get("password")) != (USER, PASSWORD):
            return answer('<error code="1">' + cdata("Incorrect password or username") + "</error>")
        return answer("<token>" + cdata(TOKEN) + "</token>")
    if query.get("token") != TOKEN:
        return answer('<error code="3">' + cdata("Not logged on") + "</error>")
    if command == "listProjects":
        return answer("<projects>" + "".join(f"<project><ixProject>{i}</ixProject><sProject>{cdata(n)}</sProject>"
                                             "</project>" for i, n in FOG_PROJECTS) + "</projects>")
    if command == "listAreas":
        return answer("<areas>" + "".join(f"<area><sArea>{cdata(a)}</sArea><sProject>{cdata(p)}</sProject></area>"
                                          for a, p in FOG_AREAS) + "</areas>")
    if command == "listCategories":
        return answer("<categories>" + "".join(f"<category><sCategory>{cdata(c)}</sCategory></category>"
                                               for c in ("Feature", "Bug", "Inquiry")) + "</categories>")
    if command == "listPriorities":
        return answer("<priorities><priority><sPriority>Must Fix</sPriority></priority></priorities>")
    if command == "listPeople":
        return answer("<people>" + "".join(f"<person><sFullName>{escape(n)}</sFullName></person>"
                                           for n in FOG_PEOPLE) + "</people>")
    if command == "logoff":
        return answer("")
    return answer('<error code="0">' + cdata("unknown command") + "</error>")


# Mantis --------------------------------------------------------------------------------------

ENVELOPE = "http://schemas.xmlsoap.org/soap/envelope/"
MANTIS_PROJECTS = [("1", "Lumigate", [("3", "Setup & Co")]), ("2", "Other", [])]
MANTIS_CATEGORIES = {"1": ["General", "Crash <reports>"], "3": ["Installer"], "2": ["General"]}
MANTIS_VERSIONS = {"1": ["1.0", "2.0"], "3": [], "2": ["0.9"]}
MANTIS_USERS = {"1": [("12", "ada"), ("13", "j\u00fcrgen")], "3": [("12", "ada")], "2": []}
DEVELOPER = "55"


def items(entries, kind):
    return (f'<return xsi:type="SOAP-ENC:Array" SOAP-ENC:arrayType="ns1:{kind}[{len(entries)}]">' +
            "".join(f'<item xsi:type="ns1:{kind}">{e}</item>' for e in entries) + "</return>")


def object_ref(id, name):
    return f'<id xsi:type="xsd:integer">{id}</id><name xsi:type="xsd:string">{escape(name)}</name>'


def mantis_project(id, name, subprojects):
    return (object_ref(id, name) + '<description xsi:type="xsd:string">-</description>' +
            '<subprojects xsi:type="SOAP-ENC:Array">' +
            "".join(f"<item>{mantis_project(i, n, [])}</item>" for i, n in subprojects) + "</subprojects>")


def local(element):
    return element.tag.rsplit("}", 1)[-1]


def mantis(handler, path, body):
    def answer(code, inner):
        return code, "text/xml; charset=utf-8", (
            f'<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="{ENVELOPE}" '
            'xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
            f'xmlns:ns1="http://futureware.biz/mantisconnect"><SOAP-ENV:Body>{inner}</SOAP-ENV:Body>'
            "</SOAP-ENV:Envelope>").encode()

    def fault(text):
        print(f"mantis {command}: fault: {text}", file=sys.stderr, flush=True)
        return answer(500, f"<SOAP-ENV:Fault><faultcode>Client</faultcode><faultstring>{escape(text)}"
                           "</faultstring></SOAP-ENV:Fault>")

    command = path.path.rsplit("/", 1)[-1]
    try:
        root = ElementTree.fromstring(body)
    except ElementTree.ParseError as e:
        return fault(f"not XML: {e}")
    body_element = root.find(f"{{{ENVELOPE}}}Body")
    call = body_element[0] if body_element is not None and len(body_element) else None
    if call is None or local(call) != command:
        return fault("no call of " + command)
    values = {local(child): child for child in call}
    text = {name: element.text or "" for name, element in values.items()}

    def response(inner):
        return answer(200, f"<ns1:{command}Response>{inner}</ns1:{command}Response>")

    if command == "mc_version":
        return response('<return xsi:type="xsd:string">1.2.19</return>')
    if (text.get("username"), text.get("password")) != (USER, PASSWORD):
        return fault("Access denied")
    project = text.get("project_id", "")
    if command == "mc_projects_get_user_accessible":
        return response(items([mantis_project(*p) for p in MANTIS_PROJECTS], "ProjectData"))
    if command == "mc_enum_access_levels":
        return response(items([object_ref(i, n) for i, n in (("10", "viewer"), (DEVELOPER, "developer"))],
                              "ObjectRef"))
    if command == "mc_project_get_categories":
        return response(items([escape(c) for c in MANTIS_CATEGORIES[project]], "string"))
    if command == "mc_project_get_versions":
        return response(items([f'<name xsi:type="xsd:string">{escape(v)}</name>' for v in MANTIS_VERSIONS[project]],
                              "VersionData"))
    if command == "mc_project_get_users":
        if text.get("access") != DEVELOPER:
            return fault("access level expected " + DEVELOPER)
        return response(items([object_ref(i, n) for i, n in MANTIS_USERS[project]], "AccountData"))
    if command == "mc_enum_priorities":
        return response(items([object_ref(i, n) for i, n in (("10", "none"), ("30", "normal"), ("40", "high"))],
                              "ObjectRef"))
    if command == "mc_enum_severities":
        return response(items([object_ref(i, n) for i, n in (("50", "minor"), ("70", "crash"))], "ObjectRef"))
    if command == "mc_issue_add":
        # The multi-reference encoding: the issue, and the objects it refers to by id.
        by_id = {e.get("id"): e for e in body_element.iter() if e.get("id")}
        issue = by_id.get(values["issue"].get("href", "")[1:])
        if issue is None:
            return fault("no issue data")
        recorded = []
        for child in issue:
            href = child.get("href")
            if href:
                target = by_id[href[1:]]
                recorded.append((local(child), next(c.text for c in target if local(c) == "id")))
            else:
                recorded.append((local(child), child.text or ""))
        record(handler, command, recorded)
        return response('<return xsi:type="xsd:integer">77</return>')
    if command == "mc_issue_attachment_add":
        data = base64.b64decode(text["content"], validate=True)
        record(handler, command, [(n, text[n]) for n in ("issue_id", "name", "file_type")],
               [("content", text["name"].encode(), data)])
        return response('<return xsi:type="xsd:integer">501</return>')
    return fault("unknown command " + command)


STAND_INS = {"/bugzilla/": bugzilla, "/fogbugz/": fogbugz, "/mantis/": mantis}
