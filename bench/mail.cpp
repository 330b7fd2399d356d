// Bulk mail: the e-mail window mailing 1,000 selected contacts, each message
// with two 100 KB attachments, to the SMTP sink, against a plain libcurl loop
// sending the same MIME messages over one connection. Both run in the same
// process against the same kind of sink; the ratio window/plain is printed
// at the end. Runs offscreen.
#include "appcore/schema.h"
#include "bench_app.h"
#include "documents/emailform.h"
#include "grid/listgrid.h"
#include "platform/dialogs.h"
#include "smtp_sink.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kMessages = 1000;
constexpr int kAttachmentBytes = 100 * 1024;

struct Fixture {
    BenchApplication base;
    QTemporaryDir& dir = base.dir;
    QStringList attachments;
    std::unique_ptr<grid::RIvuZuvuzoZuvu> grid;

    Fixture()
    {
        for (int a = 0; a < 2; ++a) {
            const QString path = dir.filePath(QString("attachment%1.bin").arg(a));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            QByteArray bytes(kAttachmentBytes, 0);
            for (int i = 0; i < kAttachmentBytes; ++i)
                bytes[i] = char(i * 131 + a);
            f.write(bytes);
            attachments.append(path);
        }
        grid = std::make_unique<grid::RIvuZuvuzoZuvu>();
        grid->SetColCount(12);
        grid->SetRowCount(kMessages + 1);
        for (int i = 1; i <= kMessages; ++i) {
            const std::string person = "Person " + std::to_string(i);
            const std::string email = "c" + std::to_string(i) + "@example.org";
            Customer c;
            c.name = person.c_str();
            c.person = person.c_str();
            c.email = email.c_str();
            grid->SetCells(0, i, std::to_string(insert(c).getOid()));
            grid->SetRowSelect(i, true);
        }
        database.commit();
    }
    ~Fixture() { database.close(); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

double windowSeconds = 0, plainSeconds = 0;

void BM_WindowBulk(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        SmtpSink sink({SmtpSink::Mode::Normal, false, 0, false});
        platform::ScriptedDialogs dialogs;
        TEmailForm form;
        form.mainGrid = f.grid.get();
        form.smtpServer->setText("127.0.0.1");
        form.port->setText(QString::number(sink.port()));
        form.mailFrom->setText("Me <me@example.org>");
        form.subject->setText("Price list");
        form.attachmentList->clear();
        form.attachmentList->addItems(f.attachments);
        const auto start = std::chrono::steady_clock::now();
        form.sendButtonClick();
        windowSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (sink.accepted() != kMessages)
            state.SkipWithError(dialogs.Messages().join(" ").toStdString().c_str());
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

void BM_PlainCurlLoop(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        SmtpSink sink({SmtpSink::Mode::Normal, false, 0, false});
        const auto start = std::chrono::steady_clock::now();
        CURL* c = curl_easy_init();
        const std::string url = "smtp://127.0.0.1:" + std::to_string(sink.port()) + "/";
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, "<me@example.org>");
        for (int i = 1; i <= kMessages; ++i) {
            const std::string address = "c" + std::to_string(i) + "@example.org";
            curl_slist* rcpt = curl_slist_append(nullptr, ("<" + address + ">").c_str());
            curl_slist* headers = curl_slist_append(nullptr, "From: Me <me@example.org>");
            headers = curl_slist_append(headers, ("To: " + address).c_str());
            headers = curl_slist_append(headers, "Subject: Price list");
            curl_mime* mime = curl_mime_init(c);
            curl_mimepart* part = curl_mime_addpart(mime);
            const std::string body = "Dear Person " + std::to_string(i) + ",\r\n\r\nThis is a test mail.";
            curl_mime_data(part, body.c_str(), body.size());
            curl_mime_type(part, "text/plain; charset=UTF-8");
            curl_mime_encoder(part, "quoted-printable");
            for (const QString& path : f.attachments) {
                part = curl_mime_addpart(mime);
                curl_mime_filedata(part, QFile::encodeName(path).constData());
                curl_mime_encoder(part, "base64");
            }
            curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);
            curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
            curl_easy_setopt(c, CURLOPT_MIMEPOST, mime);
            if (curl_easy_perform(c) != CURLE_OK)
                state.SkipWithError("plain send failed");
            curl_easy_setopt(c, CURLOPT_MIMEPOST, nullptr);
            curl_mime_free(mime);
            curl_slist_free_all(headers);
            curl_slist_free_all(rcpt);
        }
        curl_easy_cleanup(c);
        plainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (sink.accepted() != kMessages)
            state.SkipWithError("the sink did not take every message");
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

BENCHMARK(BM_WindowBulk)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainCurlLoop)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (windowSeconds > 0 && plainSeconds > 0)
        std::printf("window bulk %.3f s, plain libcurl loop %.3f s, ratio %.2f\n", windowSeconds, plainSeconds,
                    windowSeconds / plainSeconds);
    return 0;
}
