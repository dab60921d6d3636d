#include "broker_support.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// 0: a free port; else whether something listens on port.
int probe(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int result = 0;
    if (port == 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        result = ntohs(a.sin_port);
    if (port != 0)
        result = ::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
    ::close(fd);
    return result;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& argv, const std::string& env)
{
    std::vector<char*> args, envs;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (char** e = environ; *e; ++e)
        envs.push_back(*e);
    if (!env.empty())
        envs.push_back(const_cast<char*>(env.c_str()));
    envs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envs.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

Broker::Broker() : port_(probe(0)) { start(); }
Broker::~Broker() { stop(); }

bool Broker::start()
{
    pid_ = spawn({"mosquitto", "-p", std::to_string(port_)});
    for (int i = 0; i < 60; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (probe(port_))
            return true;
    return false;
}

void Broker::stop()
{
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
        ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Subscriber::Subscriber(int port, const std::string& topic)
    : client_(std::make_unique<mqtt::async_client>("tcp://127.0.0.1:" + std::to_string(port),
                                                   "sub-" + std::to_string(::getpid()) + '-' + topic))
{
    client_->start_consuming();
    client_->connect()->wait_for(std::chrono::seconds(3));
    client_->subscribe(topic, 1)->wait_for(std::chrono::seconds(3));
}

mqtt::const_message_ptr Subscriber::next(int ms)
{
    mqtt::const_message_ptr m;
    client_->try_consume_message_for(&m, std::chrono::milliseconds(ms));
    return m;
}
