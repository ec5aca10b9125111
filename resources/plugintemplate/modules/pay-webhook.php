<?php
/**
 * The generic webhook, for other shops and automation services. How the owner's sender calls
 * it:
 *
 * - POST to the funnel's webhook address (#prefix#_listener_url( 'webhook', funnel )).
 * - The body is JSON (or a form, application/x-www-form-urlencoded) with the fields:
 *   "email" the buyer's e-mail address; "payment_id" the order's id at the shop, unique, so
 *   that a call sent twice gives access once; optionally "action" "grant" (the default) or
 *   "revoke" (for a refund), "claim" a reference for the page the buyer returns to, and
 *   "send_mail" false when the sender e-mails the link itself.
 * - The header X-Webhook-Signature is "sha256=" and the hex HMAC-SHA256 of the raw body,
 *   byte for byte as sent, keyed with the funnel's webhook secret. For example, in a shell:
 *   printf '%s' "$body" | openssl dgst -sha256 -hmac "$secret" (the hex digits it prints).
 * - The answer is JSON: 201 with the buyer's "link" when access was given, 200 when nothing
 *   had to be done, 401 for a missing or wrong signature, 400 for a body that is not
 *   understood.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Registers the generic webhook, one address per funnel.
 */
function #prefix#_register_webhook_route() {
	register_rest_route(
		#prefix#_rest_namespace(),
		#prefix#_listener_route( 'webhook' ),
		array(
			'methods'             => 'POST',
			'callback'            => '#prefix#_webhook_listener',
			// The sender calls without a login: the body's signature, made with the funnel's
			// webhook secret, is the credential, checked in the listener before anything is done.
			'permission_callback' => '__return_true',
		)
	);
}
add_action( 'rest_api_init', '#prefix#_register_webhook_route' );

/**
 * The fields of a webhook call's body, read from the signed bytes themselves: JSON, or else a
 * form.
 *
 * @param string $body The raw body.
 * @return array
 */
function #prefix#_webhook_fields( $body ) {
	$fields = json_decode( $body, true );
	if ( ! is_array( $fields ) ) {
		$fields = array();
		wp_parse_str( $body, $fields );
	}
	return is_array( $fields ) ? $fields : array();
}

/**
 * What a signed webhook call asks for: access for a buyer, or the revocation of an order's
 * buyer.
 *
 * @param array $fields The body's fields.
 * @return array verdict (grant, revoke or refuse), reason, detail, and payment_id; for grant
 *               also email, claim and send_mail.
 */
function #prefix#_webhook_verdict( $fields ) {
	$text       = function ( $name ) use ( $fields ) {
		return isset( $fields[ $name ] ) && ( is_string( $fields[ $name ] ) || is_int( $fields[ $name ] ) ) ? trim( (string) $fields[ $name ] ) : '';
	};
	$action     = '' === $text( 'action' ) ? 'grant' : $text( 'action' );
	$payment_id = $text( 'payment_id' );
	$refuse     = function ( $reason, $detail ) {
		return array(
			'verdict' => 'refuse',
			'reason'  => $reason,
			'detail'  => $detail,
		);
	};
	if ( 'grant' !== $action && 'revoke' !== $action ) {
		return $refuse( 'action', __( 'A webhook call asked for an action other than "grant" or "revoke".', '#prefix#' ) );
	}
	if ( '' === $payment_id || strlen( $payment_id ) > 191 ) {
		return $refuse( 'payment_id', __( 'A webhook call came without its "payment_id" (the order\'s id, up to 191 characters).', '#prefix#' ) );
	}
	if ( 'revoke' === $action ) {
		return array(
			'verdict'    => 'revoke',
			'reason'     => 'revoke',
			/* translators: %s: the order's id. */
			'detail'     => sprintf( __( 'Webhook: order %s was revoked.', '#prefix#' ), $payment_id ),
			'payment_id' => $payment_id,
		);
	}
	if ( ! is_email( $text( 'email' ) ) ) {
		return $refuse( 'email', __( 'A webhook call came without a valid "email" of the buyer.', '#prefix#' ) );
	}
	$send_mail = ! isset( $fields['send_mail'] ) || ! in_array( $fields['send_mail'], array( false, 0, '0', 'false', 'no' ), true );
	return array(
		'verdict'    => 'grant',
		'reason'     => 'grant',
		/* translators: 1: the order's id, 2: the buyer's e-mail address. */
		'detail'     => sprintf( __( 'Webhook: order %1$s for %2$s.', '#prefix#' ), $payment_id, $text( 'email' ) ),
		'payment_id' => $payment_id,
		'email'      => $text( 'email' ),
		'claim'      => $text( 'claim' ),
		'send_mail'  => $send_mail,
	);
}

/**
 * Handles one generic webhook call for the funnel its address names.
 *
 * @param WP_REST_Request $request The call.
 * @return WP_REST_Response
 */
function #prefix#_webhook_listener( $request ) {
	$funnel_id = (int) $request['funnel'];
	if ( ! #prefix#_payment_funnel( $funnel_id ) ) {
		return new WP_REST_Response( array( 'outcome' => 'refused' ), 404 );
	}
	$settings = #prefix#_funnel_settings( $funnel_id );
	$body     = $request->get_body();
	$status   = #prefix#_webhook_signature_status( $request->get_header( 'x_webhook_signature' ), $body, $settings['webhook_secret'] );
	if ( 'no_secret' === $status ) {
		return #prefix#_listener_answer( $funnel_id, 'webhook', 'refused', __( 'A webhook call came in, but the funnel has no webhook secret yet.', '#prefix#' ), 401 );
	}
	if ( 'valid' !== $status ) {
		return #prefix#_listener_answer( $funnel_id, 'webhook', 'refused', __( 'A webhook call\'s X-Webhook-Signature is missing or does not match the funnel\'s webhook secret.', '#prefix#' ), 401 );
	}
	$verdict = #prefix#_webhook_verdict( #prefix#_webhook_fields( $body ) );
	if ( 'refuse' === $verdict['verdict'] ) {
		return #prefix#_listener_answer( $funnel_id, 'webhook', 'refused', $verdict['detail'], 400 );
	}
	if ( 'revoke' === $verdict['verdict'] ) {
		$buyer = #prefix#_revoke_payment( 'webhook', $verdict['payment_id'] );
		return #prefix#_listener_answer( $funnel_id, 'webhook', $buyer ? 'revoked' : 'ignored', $verdict['detail'] );
	}
	$granted = #prefix#_grant_access( $funnel_id, $verdict['email'], 'webhook', $verdict['payment_id'], $verdict['claim'], $verdict['send_mail'] );
	if ( is_wp_error( $granted ) && 'duplicate' === $granted->get_error_code() ) {
		/* translators: %s: the order's id. */
		return #prefix#_listener_answer( $funnel_id, 'webhook', 'ignored', sprintf( __( 'Webhook: order %s has given access already.', '#prefix#' ), $verdict['payment_id'] ) );
	}
	if ( is_wp_error( $granted ) ) {
		return #prefix#_listener_answer( $funnel_id, 'webhook', 'failed', $granted->get_error_message(), 500 );
	}
	$extra = array(
		'link'   => #prefix#_buyer_url( $funnel_id, $granted['token'] ),
		'mailed' => $granted['mailed'],
	);
	return #prefix#_listener_answer( $funnel_id, 'webhook', 'granted', $verdict['detail'], 201, $extra );
}
