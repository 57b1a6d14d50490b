#include "crash/delivery/http_upload_win.h"

#include "crash/delivery/tracker_upload_win.h"

namespace crash {

THttpTarget HttpTargetOf(const TDelivery& delivery)
{
    THttpTarget target;
    target.Url = delivery.Url;
    if (IReportSettings* settings = delivery.Settings) {
        target.Ssl = settings->GetHttpSsl();
        target.Port = settings->GetHttpPort();
        target.HttpUser = settings->GetHttpAccount();
        target.HttpPassword = settings->GetHttpPassword();
        target.TrackerUser = settings->GetBugTrackerAccount();
        target.TrackerPassword = settings->GetBugTrackerPassword();
        target.AcceptAnyCertificate = settings->GetAcceptAnyCertificate();
    }
    return target;
}

namespace {

std::vector<TFormField> FieldsOf(const TDelivery& delivery)
{
    std::vector<TFormField> fields;
    if (IReportFields* list = delivery.Fields.Get()) {
        list->Lock();
        for (int k = 0; k < list->GetItemCount(); ++k) {
            std::u16string name = list->GetItem(k);
            std::u16string content = list->GetContent(name);
            fields.push_back({std::move(name), std::move(content)});
        }
        list->Unlock();
    }
    return fields;
}

TTrackerCase CaseOf(const TDelivery& delivery)
{
    TTrackerCase bug;
    bug.Title = delivery.TrackerTitle;
    bug.Description = delivery.TrackerDescription;
    if (IReportSettings* settings = delivery.Settings) {
        bug.Project = settings->GetBugTrackerProject();
        bug.Area = settings->GetBugTrackerArea();
        bug.AssignTo = settings->GetBugTrackerAssignTo();
    }
    bug.Version = delivery.Version;
    bug.Computer = delivery.ComputerName;
    bug.OperatingSystem = delivery.OperatingSystem;
    bug.Email = delivery.From;
    bug.Crc = delivery.CallstackCrc;
    return bug;
}

} // namespace

bool UploadToScript(const TDelivery& delivery)
{
    TWinHttp client(HttpTargetOf(delivery), delivery.Settings, delivery.Progress);
    return client.Post(delivery.From, FieldsOf(delivery), delivery.Prepared);
}

bool UploadToFogBugz(const TDelivery& delivery)
{
    TWinHttp client(HttpTargetOf(delivery), delivery.Settings, delivery.Progress);
    return UploadBugToFogBugz(client, CaseOf(delivery), FieldsOf(delivery), delivery.Prepared);
}

bool UploadToBugZilla(const TDelivery& delivery)
{
    TWinHttp client(HttpTargetOf(delivery), delivery.Settings, delivery.Progress);
    return UploadBugToBugZilla(client, CaseOf(delivery), delivery.Prepared);
}

bool UploadToMantis(const TDelivery& delivery)
{
    TWinHttp client(HttpTargetOf(delivery), delivery.Settings, delivery.Progress);
    return UploadBugToMantis(client, CaseOf(delivery), delivery.Prepared);
}

} // namespace crash
