// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Crypto.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crypto {

void KeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

namespace {

Key Own(EVP_PKEY* key) { return key ? Key(key, KeyFree{}) : Key(); }

QString Error()
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

QByteArray Bytes(const BIGNUM* n)
{
    QByteArray out(BN_num_bytes(n), '\0');
    BN_bn2bin(n, reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

QByteArray BioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

} // namespace

QByteArray Base64Url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

std::optional<QByteArray> FromBase64Url(const QByteArray& text)
{
    // Unpadded, as a JWS writes it: a padding sign is no character of its alphabet.
    if (text.contains('=') || text.size() % 4 == 1)
        return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(text, QByteArray::Base64UrlEncoding
                                                           | QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return *result;
}

QByteArray Random(int bytes)
{
    QByteArray out(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), bytes) != 1)
        qFatal("porome-server: OpenSSL gives no random bytes");
    return out;
}

QByteArray HmacSha256(const QByteArray& key, const QByteArray& data)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), key.constData(), int(key.size()), reinterpret_cast<const unsigned char*>(data.constData()),
         size_t(data.size()), out, &size);
    return QByteArray(reinterpret_cast<const char*>(out), int(size));
}

QByteArray Sha256(const QByteArray& data)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.constData(), size_t(data.size()), out, &size, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(out), int(size));
}

bool Same(const QByteArray& a, const QByteArray& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

Key NewRsaKey(int bits)
{
    return Own(EVP_RSA_gen(static_cast<unsigned int>(bits)));
}

QByteArray PrivatePem(const Key& key)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        return {};
    return BioText(bio.get());
}

QByteArray PrivateDer(const Key& key)
{
    unsigned char* der = nullptr;
    const int size = i2d_PrivateKey(key.get(), &der);
    if (size <= 0)
        return {};
    QByteArray out(reinterpret_cast<const char*>(der), size);
    OPENSSL_clear_free(der, size_t(size));
    return out;
}

Key LoadOrCreateKey(const QString& file, QString* why)
{
    const QByteArray path = QFile::encodeName(file);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) {
        if (st.st_mode & (S_IRWXG | S_IRWXO)) {
            *why = QStringLiteral("server/key %1 may be read by others (mode %2): make it 0600")
                       .arg(file)
                       .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
            return {};
        }
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("server/key %1 cannot be read: %2").arg(file, f.errorString());
            return {};
        }
        const QByteArray pem = f.read(1 << 16);
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())), &BIO_free);
        Key key = Own(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
        if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key.get()) < 2048) {
            *why = QStringLiteral("server/key %1 is not an RSA private key of at least 2048 bits (PEM)").arg(file);
            return {};
        }
        return key;
    }
    Key key = NewRsaKey(2048);
    const QByteArray pem = key ? PrivatePem(key) : QByteArray();
    if (pem.isEmpty()) {
        *why = QStringLiteral("server/key: no RSA key could be made: %1").arg(Error());
        return {};
    }
    // Written beside its place and moved there whole, never readable by others.
    const QByteArray temporary = path + ".new";
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::write(fd, pem.constData(), size_t(pem.size())) == pem.size() && ::fsync(fd) == 0;
    if (fd >= 0)
        written = ::close(fd) == 0 && written;
    // Another server sharing the folder may have made one first: that one is kept.
    if (!written || ::link(temporary.constData(), path.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        if (written && error == EEXIST)
            return LoadOrCreateKey(file, why);
        *why = QStringLiteral("server/key %1 cannot be written: %2").arg(file, QString::fromLocal8Bit(strerror(error)));
        return {};
    }
    ::unlink(temporary.constData());
    return key;
}

QJsonObject PublicJwk(const Key& key)
{
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &e);
    const QString nText = QString::fromLatin1(Base64Url(Bytes(n)));
    const QString eText = QString::fromLatin1(Base64Url(Bytes(e)));
    BN_free(n);
    BN_free(e);
    // The thumbprint's members in their order, without blanks.
    const QByteArray members = "{\"e\":\"" + eText.toLatin1() + "\",\"kty\":\"RSA\",\"n\":\"" + nText.toLatin1() + "\"}";
    return QJsonObject{{"kty", "RSA"}, {"alg", "RS256"}, {"use", "sig"},
                       {"kid", QString::fromLatin1(Base64Url(Sha256(members)))}, {"n", nText}, {"e", eText}};
}

Key KeyFromJwk(const QJsonObject& jwk, QString* why)
{
    if (jwk.value(QLatin1String("kty")).toString() != QLatin1String("RSA")) {
        *why = QStringLiteral("the key is not an RSA key");
        return {};
    }
    const auto n = FromBase64Url(jwk.value(QLatin1String("n")).toString().toLatin1());
    const auto e = FromBase64Url(jwk.value(QLatin1String("e")).toString().toLatin1());
    if (!n || !e || n->isEmpty() || e->isEmpty()) {
        *why = QStringLiteral("the key's n or e is not base64url");
        return {};
    }
    BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(n->constData()), int(n->size()), nullptr);
    BIGNUM* be = BN_bin2bn(reinterpret_cast<const unsigned char*>(e->constData()), int(e->size()), nullptr);
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, bn);
    OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, be);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(build);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* made = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx) != 1
        || EVP_PKEY_fromdata(ctx, &made, EVP_PKEY_PUBLIC_KEY, params) != 1)
        made = nullptr;
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(bn);
    BN_free(be);
    Key key = Own(made);
    if (!key) {
        *why = QStringLiteral("the key cannot be read: %1").arg(Error());
        return {};
    }
    if (EVP_PKEY_get_bits(key.get()) < 2048) {
        *why = QStringLiteral("the key has fewer than 2048 bits");
        return {};
    }
    return key;
}

QByteArray SignRs256(const Key& key, const QByteArray& data)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    size_t size = 0;
    if (EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1
        || EVP_DigestSign(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(data.constData()),
                          size_t(data.size())) != 1)
        return {};
    QByteArray out(qsizetype(size), '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &size,
                       reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size())) != 1)
        return {};
    out.resize(qsizetype(size));
    return out;
}

bool VerifyRs256(const Key& key, const QByteArray& data, const QByteArray& signature)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_PKEY_CTX* pctx = nullptr;
    const bool ok = EVP_DigestVerifyInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.get()) == 1
        && EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) == 1
        && EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), reinterpret_cast<const unsigned char*>(data.constData()),
                            size_t(data.size())) == 1;
    ERR_clear_error();
    return ok;
}

} // namespace crypto
