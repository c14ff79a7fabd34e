// Load client of the request server. The test-only service runs as its own process against a
// scratch MariaDB database and prints to a raw CUPS queue whose device is a TCP capture here (printer
// delays 0). Measured on loopback, each request on a fresh connection as the tills send them:
//   - Ping round trips with 1, 8 and 64 clients at once: p50, p99 and requests per second;
//   - Ping round trips on one persistent connection;
//   - kitchen-ticket round trips (header from the database, command number, the job through cupsd);
//   - Ping round trips while 60 kitchen tickets wait their turn at the printer, and when the tickets'
//     replies arrive (the first and the last, from the moment they were all sent);
//   - the service's resident memory after 100 requests of a mixed load and after 10 000.
#include "bench/percentil.h"
#include "bench/servicio/ServicioExterno.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <thread>
#include <vector>

using namespace servertest;

namespace {

// The printer behind the CUPS queue: each connection from the backend is one job, read and dropped.
class CapturaImpresora final {
public:
    CapturaImpresora() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 64) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            return;
        m_puerto = ntohs(a.sin_port);
        m_hilo = std::thread([this] { bucle(); });
    }
    ~CapturaImpresora() {
        m_parar = true;
        if (m_hilo.joinable())
            m_hilo.join();
        ::close(m_fd);
    }
    quint16 puerto() const { return m_puerto; }

private:
    void bucle() {
        while (!m_parar) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            char buf[65536];
            while (::recv(c, buf, sizeof buf, 0) > 0) {
            }
            ::close(c);
        }
    }
    int m_fd = -1;
    quint16 m_puerto = 0;
    std::thread m_hilo;
    std::atomic<bool> m_parar{false};
};

struct Banco {
    CapturaImpresora captura;
    QString cola;
    std::unique_ptr<ServicioExterno> servicio;
    QString error;

    Banco() {
        if (!testenv::haveDatabase() || !testenv::haveCups()) {
            error = QStringLiteral("needs MariaDB and cupsd: source /tmp/devrun/env.sh or run through scripts/test");
            return;
        }
        cola = QStringLiteral("tarvolin_bench_srv_%1").arg(QCoreApplication::applicationPid());
        QProcess p;
        p.start(QStringLiteral("lpadmin"),
                {"-p", cola, "-E", "-v", QStringLiteral("socket://127.0.0.1:%1/?waiteof=false").arg(captura.puerto()),
                 "-m", "raw"});
        p.waitForFinished(30000);
        servicio = std::make_unique<ServicioExterno>(QStringLiteral("bench_srv"),
                                                     QList<QPair<QString, QString>>{{"ImpTicket", cola}});
        if (!servicio->arranca({}))
            error = QStringLiteral("the service did not start");
    }
    ~Banco() {
        if (servicio)
            servicio->pide(R"({"accion":"shutdown"})");
        servicio.reset();
        QProcess p;
        p.start(QStringLiteral("lpadmin"), {"-x", cola});
        p.waitForFinished(30000);
    }
};

Banco* g_banco = nullptr;

const QByteArray kPing = R"({"accion":"Ping"})";
const QByteArray kRespuestaPing = "200 OK\r{\"respuesta\":\"S\",\"ok\":true}";
const QByteArray kTicket =
    R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":3,"idTicket":1234,"texto":"1 Entrecot<br>2 Ca\u00f1a<br><b>1 Pizza</b> sin queso"})";

// `clientes` threads send `total` requests between them, each on a fresh connection; latencies in µs.
// Eight threads share a loopback address (127.0.0.1, .2, ...): one address may hold a few dozen.
void carga(benchmark::State& state, const QByteArray& peticion, const QByteArray& esperado, int clientes, int total) {
    if (!g_banco->error.isEmpty()) {
        state.SkipWithError(g_banco->error.toStdString().c_str());
        return;
    }
    const quint16 puerto = g_banco->servicio->puerto();
    std::vector<double> latencias;
    std::atomic<int> errores{0};
    double segundos = 0;
    for (auto _ : state) {
        std::vector<std::vector<double>> porCliente;
        porCliente.resize(size_t(clientes));
        const auto inicio = std::chrono::steady_clock::now();
        std::vector<std::thread> hilos;
        for (int c = 0; c < clientes; ++c)
            hilos.emplace_back([&, c] {
                auto& mias = porCliente[size_t(c)];
                for (int i = c; i < total; i += clientes) {
                    const auto t0 = std::chrono::steady_clock::now();
                    ClienteTcp cliente(puerto, INADDR_LOOPBACK + in_addr_t(c / 8));
                    cliente.envia(peticion);
                    const QByteArray r = cliente.leeHastaCierre();
                    mias.push_back(
                        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
                    if (r != esperado)
                        ++errores;
                }
            });
        for (auto& h : hilos)
            h.join();
        segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
        for (auto& v : porCliente)
            latencias.insert(latencias.end(), v.begin(), v.end());
    }
    state.counters["p50_us"] = percentil(latencias, 0.50);
    state.counters["p99_us"] = percentil(latencias, 0.99);
    state.counters["req_per_s"] = double(total) / segundos;
    state.counters["errors"] = double(errores);
}

void BM_Ping(benchmark::State& state) {
    carga(state, kPing, kRespuestaPing, int(state.range(0)), 20000);
}
BENCHMARK(BM_Ping)->ArgName("clients")->Arg(1)->Arg(8)->Arg(64)->Iterations(1)->UseRealTime()->Unit(
    benchmark::kMillisecond);

void BM_PingPersistent(benchmark::State& state) {
    if (!g_banco->error.isEmpty()) {
        state.SkipWithError(g_banco->error.toStdString().c_str());
        return;
    }
    constexpr int kTotal = 20000;
    std::vector<double> latencias;
    int errores = 0;
    double segundos = 0;
    for (auto _ : state) {
        ClienteTcp c(g_banco->servicio->puerto());
        const auto inicio = std::chrono::steady_clock::now();
        for (int i = 0; i < kTotal; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            c.envia("conexion_persistente" + kPing);
            errores += c.leeRespuesta() != kRespuestaPing;
            latencias.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        }
        segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    }
    state.counters["p50_us"] = percentil(latencias, 0.50);
    state.counters["p99_us"] = percentil(latencias, 0.99);
    state.counters["req_per_s"] = double(kTotal) / segundos;
    state.counters["errors"] = double(errores);
}
BENCHMARK(BM_PingPersistent)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The reply comes once cupsd has taken the job; the capture receives it a little later.
void BM_KitchenTicket(benchmark::State& state) {
    carga(state, kTicket, "200 OK\r{\"ok\":true}", 1, 300);
}
BENCHMARK(BM_KitchenTicket)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// 60 tills send a kitchen ticket at once; meanwhile one more keeps pinging on fresh connections
// until the last ticket is answered.
void BM_PingWhilePrintsQueue(benchmark::State& state) {
    if (!g_banco->error.isEmpty()) {
        state.SkipWithError(g_banco->error.toStdString().c_str());
        return;
    }
    constexpr int kTickets = 60;
    const quint16 puerto = g_banco->servicio->puerto();
    std::vector<double> pings, respuestas;
    std::atomic<int> errores{0};
    for (auto _ : state) {
        std::vector<double> fin(kTickets);
        std::atomic<int> pendientes{kTickets};
        std::vector<std::unique_ptr<ClienteTcp>> tills;
        for (int i = 0; i < kTickets; ++i)
            tills.push_back(std::make_unique<ClienteTcp>(puerto, INADDR_LOOPBACK + 1 + in_addr_t(i))); // one per till
        const auto inicio = std::chrono::steady_clock::now();
        for (auto& t : tills)
            t->envia(kTicket);
        std::vector<std::thread> hilos;
        for (int i = 0; i < kTickets; ++i)
            hilos.emplace_back([&, i] {
                if (tills[size_t(i)]->leeHastaCierre() != "200 OK\r{\"ok\":true}")
                    ++errores;
                fin[size_t(i)] =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
                --pendientes;
            });
        while (pendientes > 0) {
            const auto t0 = std::chrono::steady_clock::now();
            ClienteTcp c(puerto);
            c.envia(kPing);
            errores += c.leeHastaCierre() != kRespuestaPing;
            pings.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        for (auto& h : hilos)
            h.join();
        respuestas.insert(respuestas.end(), fin.begin(), fin.end());
    }
    state.counters["pings"] = double(pings.size());
    state.counters["ping_p50_ms"] = percentil(pings, 0.50);
    state.counters["ping_max_ms"] = percentil(pings, 1.0);
    state.counters["first_ticket_reply_ms"] = percentil(respuestas, 0.0);
    state.counters["last_ticket_reply_ms"] = percentil(respuestas, 1.0);
    state.counters["errors"] = double(errores.load());
}
BENCHMARK(BM_PingWhilePrintsQueue)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// A mixed load: pings (some on a persistent connection), the till number, printers, log lines,
// unknown actions, and one kitchen ticket in twenty.
void mezcla(int desde, int hasta) {
    const ServicioExterno& s = *g_banco->servicio;
    for (int i = desde; i < hasta; ++i) {
        switch (i % 20) {
        case 0:
            s.pide(kTicket);
            break;
        case 1:
            s.pide(R"({"accion":"AnadirLog","Texto":"carga )" + QByteArray::number(i) + "\"}");
            break;
        case 2:
            s.pide(R"({"accion":"NoExiste","n":)" + QByteArray::number(i) + "}");
            break;
        case 3:
            s.pide(R"({"accion":"GetPrinters"})");
            break;
        case 4:
            s.pide(R"({"accion":"GetIdTPV"})");
            break;
        case 5: {
            ClienteTcp c(s.puerto());
            c.envia("conexion_persistente_end" + kPing);
            c.leeRespuesta(true); // the connection stays open: the client closes it
            break;
        }
        default:
            s.pide(kPing);
            break;
        }
    }
}

void BM_MemoryAfterRequests(benchmark::State& state) {
    if (!g_banco->error.isEmpty()) {
        state.SkipWithError(g_banco->error.toStdString().c_str());
        return;
    }
    qint64 tras100 = 0, tras10000 = 0;
    for (auto _ : state) {
        mezcla(0, 100);
        tras100 = g_banco->servicio->memoriaResidenteKb();
        mezcla(100, 10000);
        tras10000 = g_banco->servicio->memoriaResidenteKb();
    }
    state.counters["rss_after_100_kib"] = double(tras100);
    state.counters["rss_after_10000_kib"] = double(tras10000);
    state.counters["growth_kib"] = double(tras10000 - tras100);
}
BENCHMARK(BM_MemoryAfterRequests)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    g_banco = new Banco;
    benchmark::RunSpecifiedBenchmarks();
    delete g_banco;
    benchmark::Shutdown();
    return 0;
}
