# tests/e2e/lib: the network the station directory's stand-in lives in, for a script already inside a private
# network and mount namespace (unshare --net --mount) that has sourced world.sh: loopback only, a test CA the only
# one trusted, and dnsmasq on 127.0.0.1:53 the only source of the directory's names. The program finds and reaches
# the stand-in exactly as it does the real directory.

# Makes $net (under $work): the CA, a certificate for de1.api.radio-browser.info ($net/server.pem and .key), and
# the private resolv.conf, hosts file and certificate store, bound over the system's.
directory_network() {
    ip link set lo up
    net="$work/net"
    mkdir -p "$net/certs"
    local key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    openssl req -x509 "${key[@]}" -days 2 -subj "/CN=Corvana test CA" -keyout "$net/ca.key" \
        -out "$net/certs/ca-certificates.crt" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>>"$work/openssl.log"
    openssl req "${key[@]}" -subj "/CN=de1.api.radio-browser.info" -keyout "$net/server.key" \
        -out "$net/server.csr" 2>>"$work/openssl.log"
    printf 'subjectAltName=DNS:de1.api.radio-browser.info\nextendedKeyUsage=serverAuth\n' >"$net/server.ext"
    openssl x509 -req -in "$net/server.csr" -CA "$net/certs/ca-certificates.crt" -CAkey "$net/ca.key" \
        -CAcreateserial -days 2 -extfile "$net/server.ext" -out "$net/server.pem" 2>>"$work/openssl.log"
    # Qt's OpenSSL backend looks certificates up by their hashed names in /etc/ssl/certs; curl reads the bundle.
    openssl rehash "$net/certs"
    echo "nameserver 127.0.0.1" >"$net/resolv.conf"
    # Nothing names 127.0.0.1 here: its reverse name comes from the resolver, as a server's would.
    echo "# a private hosts file of the directory's stand-in" >"$net/hosts"
    mount --bind "$net/resolv.conf" /etc/resolv.conf
    mount --bind "$net/hosts" /etc/hosts
    mount --bind "$net/certs" /etc/ssl/certs
}

# with-srv | without-srv: starts dnsmasq; $resolver is its process.
directory_resolver() {
    # host-record also gives 127.0.0.1 its reverse name; local= answers "no such record" for the rest of the zone.
    {
        echo "port=53"
        echo "listen-address=127.0.0.1"
        echo "bind-interfaces"
        echo "no-resolv"
        echo "no-hosts"
        echo "no-poll"
        echo "log-queries"
        echo "local=/radio-browser.info/"
        echo "host-record=de1.api.radio-browser.info,127.0.0.1"
        echo "address=/all.api.radio-browser.info/127.0.0.1"
        if [ "$1" = with-srv ]; then echo "srv-host=_api._tcp.radio-browser.info,de1.api.radio-browser.info,443"; fi
    } >"$net/dnsmasq-$1.conf"
    dnsmasq --keep-in-foreground --conf-file="$net/dnsmasq-$1.conf" --log-facility=- >"$work/dnsmasq.log" 2>&1 &
    resolver=$!
    e2e_started $resolver
    wait_for 10 sh -c 'getent hosts de1.api.radio-browser.info >/dev/null' || fail "dnsmasq does not answer"
}
