#!/usr/bin/python3
"""A TCP relay on 127.0.0.1 that holds every chunk LATENCY_MS on its way to the server and
REPLY_MS (default: LATENCY_MS) on its way back: a control connection to a server across a
network, with commands and replies that overlap when sent together (unlike a server that waits
before each reply). Data connections (EPSV) go to the server directly. Prints its port, then
relays until killed.
Usage: latency-proxy.py TARGET_PORT LATENCY_MS [REPLY_MS]
"""
import asyncio
import sys


async def relay(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data or None))
            if not data:
                break
    except ConnectionError:
        await queue.put((loop.time(), None))
    await sender


async def main():
    target, delay = int(sys.argv[1]), float(sys.argv[2]) / 1000
    reply_delay = float(sys.argv[3]) / 1000 if len(sys.argv) > 3 else delay

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(relay(client_reader, server_writer, delay),
                             relay(server_reader, client_writer, reply_delay),
                             return_exceptions=True)

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
