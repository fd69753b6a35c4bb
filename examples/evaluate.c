/* Evaluates a logon ticket with an issuer's certificate and a JWT with an
 * HMAC secret:  evaluate ISSUER_CERT TICKET_FILE [SECRET JWT] */
#include <qorjwt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static long read_file(const char* path, unsigned char* buf, long cap) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return -1;
  long n = (long)fread(buf, 1, (size_t)cap - 1, f);
  fclose(f);
  buf[n] = 0;
  return n;
}

int main(int argc, char** argv) {
  static unsigned char cert[8192], ticket[4096];
  if (argc < 3) {
    fprintf(stderr, "usage: %s ISSUER_CERT TICKET_FILE [SECRET JWT]\n", argv[0]);
    return 2;
  }
  long certL = read_file(argv[1], cert, sizeof cert);
  long ticketL = read_file(argv[2], ticket, sizeof ticket);
  if (certL <= 0 || ticketL <= 0) return 2;
  while (ticketL > 0 && (ticket[ticketL - 1] == '\n' || ticket[ticketL - 1] == '\r')) ticket[--ticketL] = 0;

  int32_t rc = TavriInitialize(NULL);
  if (rc == 0) rc = TavriLoadTicketKey(cert, (int32_t)certL, NULL, 0, 1); /* 1: certificate */
  if (rc != 0) {
    fprintf(stderr, "setup failed: %d\n", rc);
    return 1;
  }

  /* Every text comes back in the record's code page, here UTF-8 ("4110"). */
  char user[64], sysid[16], client[8];
  int32_t userL = sizeof user, sysidL = sizeof sysid, clientL = sizeof client;
  time_t created = 0, validity = 0;
  TICKET_INFO info;
  memset(&info, 0, sizeof info);
  info.struct_size = sizeof info;
  memcpy(info.sQORCodepage, "4110", 4);
  info.pQORUser = user, info.pIntQORUserL = &userL;
  info.pSysID = sysid, info.pIntSysIDL = &sysidL;
  info.pQORClient = client, info.pIntQORClientL = &clientL;
  info.ptmCreTime = &created, info.ptmValidity = &validity;
  rc = TavriEvalLogonTicketEx((const char*)ticket, NULL, NULL, NULL, NULL, &info);
  if (rc != 0) {
    /* Low 16 bits: the library's result; high 16 bits: the signer's SSF result. */
    printf("ticket rejected: %d (standard error %d, ssf error %d)\n", rc, rc & 0xFFFF, rc >> 16);
  } else {
    printf("user %.*s from %.*s/%.*s, %ld seconds left\n", userL, user, sysidL, sysid, clientL,
           client, (long)validity);
  }

  if (argc == 5) {
    unsigned char payload[4096];
    JWT_INFO jwt;
    memset(&jwt, 0, sizeof jwt);
    jwt.struct_size = sizeof jwt;
    jwt.pPayloadBuffer = payload;
    jwt.lPayLoadBuffer = sizeof payload;
    int32_t jrc = TavriEvalJWToken(argv[4], strlen(argv[4]), (const unsigned char*)argv[3],
                                   strlen(argv[3]), NULL, &jwt);
    if (jrc != 0)
      printf("token rejected: %d (%s)\n", jrc, jwt.lastError);
    else
      printf("token of %.*s: %.*s\n", (int)jwt.lSubject, (const char*)jwt.pSubject,
             (int)jwt.lPayLoadBuffer, (const char*)jwt.pPayloadBuffer);
    if (rc == 0) rc = jrc;
  }
  TavriShutdown();
  return rc == 0 ? 0 : 1;
}
