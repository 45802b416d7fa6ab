// Command tailnet-control is the control plane of the test tailnet: Tailscale's
// own test control server, a DERP relay and a STUN responder on one address,
// so that real tailscaled nodes form a tailnet with no route out.
//
// The stock test server leaves three things as no production tailnet has
// them, and a client of `tailscale status --json` sees all three:
//   - every peer reads offline; here a node is online while it holds its
//     connection to the relay, which tailscaled keeps while it runs and is up;
//   - a node's DNS name is its raw host name; here it is the sanitised label
//     under the tailnet's domain, with -1, -2, ... when the label is taken;
//   - every node reports its real operating system; -macos NAME presents that
//     node to its peers as a Mac.
package main

import (
	"crypto/tls"
	"flag"
	"fmt"
	"log"
	"net"
	"net/http"
	"net/http/httptest"
	"net/netip"
	"os"
	"os/signal"
	"syscall"
	"time"

	"tailscale.com/derp/derpserver"
	"tailscale.com/net/stun"
	"tailscale.com/tailcfg"
	"tailscale.com/tstest/integration/testcontrol"
	"tailscale.com/types/key"
	"tailscale.com/util/dnsname"
)

// The domain the test server hands every node as its tailnet's.
const tailnetDomain = "fake-control.example.net"

type names []string

func (n *names) String() string     { return fmt.Sprint(*n) }
func (n *names) Set(v string) error { *n = append(*n, v); return nil }

func main() {
	address := flag.String("address", "127.0.0.1", "the IPv4 address to serve control, the relay and STUN on")
	infoPath := flag.String("info", "", "where to write CONTROL_URL=... once serving")
	var macs names
	flag.Var(&macs, "macos", "a host name to present to its peers as macOS (repeatable)")
	flag.Parse()
	log.SetFlags(log.LstdFlags | log.Lmicroseconds)

	stunPort, err := serveSTUN(*address)
	if err != nil {
		log.Fatalf("STUN: %v", err)
	}
	relay, relayPort, err := serveRelay(*address)
	if err != nil {
		log.Fatalf("relay: %v", err)
	}
	listener, err := net.Listen("tcp", net.JoinHostPort(*address, "0"))
	if err != nil {
		log.Fatalf("control: %v", err)
	}
	controlURL := "http://" + listener.Addr().String()
	control := &testcontrol.Server{
		DERPMap:         relayMap(*address, relayPort, stunPort),
		ExplicitBaseURL: controlURL,
		Logf:            func(string, ...any) {},
	}
	go func() { log.Fatal(http.Serve(listener, control)) }()

	if *infoPath != "" {
		if err := os.WriteFile(*infoPath, []byte("CONTROL_URL="+controlURL+"\n"), 0o644); err != nil {
			log.Fatalf("%s: %v", *infoPath, err)
		}
	}
	log.Printf("control at %s, relay at %s:%d, STUN at %s:%d", controlURL, *address, relayPort, *address, stunPort)

	tailnet := &tailnet{control: control, relay: relay, macs: map[string]bool{}, dnsNames: map[key.NodePublic]string{}}
	for _, name := range macs {
		tailnet.macs[name] = true
	}
	stop := make(chan os.Signal, 1)
	signal.Notify(stop, syscall.SIGINT, syscall.SIGTERM)
	ticker := time.NewTicker(100 * time.Millisecond)
	defer ticker.Stop()
	for {
		select {
		case <-stop:
			return
		case <-ticker.C:
			tailnet.refresh()
		}
	}
}

func relayMap(address string, relayPort, stunPort int) *tailcfg.DERPMap {
	return &tailcfg.DERPMap{Regions: map[int]*tailcfg.DERPRegion{
		1: {RegionID: 1, RegionCode: "test", RegionName: "Test", Nodes: []*tailcfg.DERPNode{{
			Name:       "1t",
			RegionID:   1,
			HostName:   address,
			IPv4:       address,
			IPv6:       "none",
			DERPPort:   relayPort,
			STUNPort:   stunPort,
			STUNTestIP: address,
			// Its certificate is made up on the spot.
			InsecureForTests: true,
		}}},
	}}
}

type tailnet struct {
	control  *testcontrol.Server
	relay    *derpserver.Server
	macs     map[string]bool
	dnsNames map[key.NodePublic]string // given once, kept for the node's life
}

// refresh brings every node's presence, DNS name and operating system to what
// a production control server would say of it; a change reaches every peer.
func (t *tailnet) refresh() {
	for _, listed := range t.control.AllNodes() {
		// Read again just before writing: the server stores what a node
		// sends concurrently, and an older copy would undo it.
		node := t.control.Node(listed.Key)
		if node == nil {
			continue
		}
		changed := false
		hostName := node.Hostinfo.Hostname()
		if name := t.dnsName(node.Key, hostName); node.Name != name {
			node.Name = name
			changed = true
		}
		online := t.relay.IsClientConnectedForTest(node.Key)
		if node.Online == nil || *node.Online != online {
			if node.Online != nil && *node.Online {
				lastSeen := time.Now().UTC().Truncate(time.Second)
				node.LastSeen = &lastSeen
			}
			node.Online = &online
			log.Printf("%q online=%v", hostName, online)
			changed = true
		}
		if t.macs[hostName] && node.Hostinfo.Valid() && node.Hostinfo.OS() != "macOS" {
			hostinfo := node.Hostinfo.AsStruct()
			hostinfo.OS = "macOS"
			node.Hostinfo = hostinfo.View()
			changed = true
		}
		if changed {
			t.control.UpdateNode(node)
		}
	}
}

func (t *tailnet) dnsName(node key.NodePublic, hostName string) string {
	if name, ok := t.dnsNames[node]; ok {
		return name
	}
	label := dnsname.SanitizeLabel(hostName)
	if label == "" {
		label = "node"
	}
	taken := map[string]bool{}
	for _, name := range t.dnsNames {
		taken[name] = true
	}
	name := label + "." + tailnetDomain + "."
	for n := 1; taken[name]; n++ {
		name = fmt.Sprintf("%s-%d.%s.", label, n, tailnetDomain)
	}
	t.dnsNames[node] = name
	return name
}

// serveSTUN answers binding requests, so that nodes find UDP working.
func serveSTUN(address string) (int, error) {
	conn, err := net.ListenPacket("udp4", net.JoinHostPort(address, "0"))
	if err != nil {
		return 0, err
	}
	go func() {
		buffer := make([]byte, 64<<10)
		for {
			n, from, err := conn.ReadFrom(buffer)
			if err != nil {
				log.Fatalf("STUN: %v", err)
			}
			id, err := stun.ParseBindingRequest(buffer[:n])
			if err != nil {
				continue
			}
			peer := from.(*net.UDPAddr).AddrPort()
			conn.WriteTo(stun.Response(id, netip.AddrPortFrom(peer.Addr().Unmap(), peer.Port())), from)
		}
	}()
	return conn.LocalAddr().(*net.UDPAddr).Port, nil
}

// serveRelay runs a DERP relay over TLS with a self-signed certificate.
func serveRelay(address string) (*derpserver.Server, int, error) {
	listener, err := net.Listen("tcp", net.JoinHostPort(address, "0"))
	if err != nil {
		return nil, 0, err
	}
	relay := derpserver.New(key.NewNode(), log.Printf)
	server := httptest.NewUnstartedServer(derpserver.Handler(relay))
	server.Listener.Close()
	server.Listener = listener
	// The relay upgrades HTTP/1.1 connections; HTTP/2 would take them first.
	server.Config.TLSNextProto = map[string]func(*http.Server, *tls.Conn, http.Handler){}
	server.StartTLS()
	return relay, listener.Addr().(*net.TCPAddr).Port, nil
}
