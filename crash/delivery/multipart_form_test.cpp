#include "crash/delivery/multipart_form.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(MultipartForm, FieldsInEightBitsOrBase64)
{
    const TFormField fields[] = {{u"Gr\u00FC\u00DFe", u"\u00C4rger & more"}, {u"\u20AC", u"\u0416"}};
    EXPECT_EQ(FormFieldPart(fields), "\r\n--Tolvaris_multipart_boundary\r\n"
                                     "Content-Disposition: form-data; name=\"Gr\xFC\xDF"
                                     "e\"\r\n"
                                     "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                                     "Content-Transfer-Encoding: 8bit\r\n\r\n"
                                     "\xC4rger & more"
                                     "\r\n--Tolvaris_multipart_boundary\r\n"
                                     "Content-Disposition: form-data; name=\"=?UTF-8?B?4oKs?=\"\r\n"
                                     "Content-Type: text/plain; charset=\"utf-8\"\r\n"
                                     "Content-Transfer-Encoding: base64\r\n\r\n"
                                     "0JY=");
}

TEST(MultipartForm, FileHeadersAreAsLongAsAnnouncedAndKeepTheirQuotes)
{
    // The length a post announces for a file with plain names: boundary + names + 102.
    EXPECT_EQ(FormFileHeader(u"File1", u"report.txt").size(), FormBoundary.size() + 5 + 10 + 102);
    EXPECT_EQ(FormClosing(), "\r\n--Tolvaris_multipart_boundary--\r\n");
    // A name cannot end its quotation marks or its header line.
    EXPECT_EQ(FormFileHeader(u"a\"b", u"x\r\n\".txt"),
              "\r\n--Tolvaris_multipart_boundary\r\n"
              "Content-Disposition: form-data; name=\"a%22b\"; filename=\"x%0D%0A%22.txt\"\r\n"
              "Content-Type: application/octet-stream\r\n\r\n");
    EXPECT_NE(FormFileHeader(u"f", u"\u00E4\u20AC.txt").find("filename=\"\xC3\xA4\xE2\x82\xAC.txt\""),
              std::string::npos);
}

} // namespace
} // namespace crash
