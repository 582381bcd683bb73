#!/usr/bin/env python3
"""Forwards TCP connections to a target, holding every byte DELAY ms in each
direction, as a slow site link would. Prints the port it listens on."""
import asyncio
import sys


async def pipe(reader, writer, delay):
    queue = asyncio.Queue()

    async def later():
        while True:
            due, data = await queue.get()
            wait = due - asyncio.get_running_loop().time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                writer.close()
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(later())
    loop = asyncio.get_running_loop()
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data or None))
            if not data:
                break
    except ConnectionError:
        await queue.put((loop.time() + delay, None))
    await sender


async def main():
    host, port, delay = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) / 1000.0

    async def serve(client_reader, client_writer):
        # The connection request crosses the slow link too.
        await asyncio.sleep(delay)
        try:
            server_reader, server_writer = await asyncio.open_connection(host, port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay),
                             pipe(server_reader, client_writer, delay), return_exceptions=True)

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


asyncio.run(main())
